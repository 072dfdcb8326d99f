// The preview page: index.html with inline styles, bars and an inline SVG curve, a few lines of plain JavaScript, one
// PNG file per picture, and the marker that says the folder holds a page of ours. Nothing is fetched from
// anywhere: the page works offline.
#include "engine/FPreviewPage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtf8.h"
#include "engine/FGameDisk.h"
#include "engine/FPreviewPictures.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"

namespace
{
// The marker's name and its first line; the lines after it name the files the page is made of.
const char16_t* const MarkerName = u".pellmor-preview";
const char* const MarkerTitle = "pellmor preview page";

// The whole textures of a pair shown when it is clicked: their larger side drawn at most this many CSS pixels.
const int32_t ZoomedSide = 1024;

// A marker is a few lines; it never reaches this size.
const uint32_t MaxMarkerBytes = 65536;

// The names the marker in Dir lists, when Dir holds a page of ours.
bool ReadOurFiles(const FString& Dir, TDynArray<FString>& Names)
{
    const std::string Text = FGameDisk::ReadStart(appPathJoin(Dir, MarkerName), MaxMarkerBytes);
    size_t Start = 0;
    bool bTitle = true;
    while (Start < Text.size())
    {
        size_t End = Text.find('\n', Start);
        End = End == std::string::npos ? Text.size() : End;
        const std::string Line = Text.substr(Start, End - Start);
        if (bTitle && Line != MarkerTitle)
            return false;
        // Only plain names of this folder: a marker never sends a removal elsewhere.
        if (!bTitle && !Line.empty() && Line.find_first_of("/\\:") == std::string::npos && Line[0] != '.')
            Names.AddItem(FString(appUtf8ToUtf16(Line.c_str()).c_str()));
        bTitle = false;
        Start = End + 1;
    }
    return !bTitle;
}

// Text for HTML: & < > " escaped.
FString Escape(const FString& Text)
{
    FString Out;
    for (int32_t i = 0; i < Text.Len(); ++i)
    {
        const char16_t C = Text[i];
        if (C == u'&' || C == u'<' || C == u'>' || C == u'"')
            Out += C == u'&' ? u"&amp;" : C == u'<' ? u"&lt;" : C == u'>' ? u"&gt;" : u"&quot;";
        else
            Out += C;
    }
    return Out;
}

FString Capitalized(const FString& Text)
{
    if (Text.IsEmpty() || Text[0] < u'a' || Text[0] > u'z')
        return Text;
    FString Out;
    Out += char16_t(Text[0] - u'a' + u'A');
    return Out + Text.Mid(1);
}

int64_t Percent(int64_t Part, int64_t Whole)
{
    return Whole > 0 ? (Whole - Part) * 100 / Whole : 0;
}

const char16_t* const Style =
    u"body{font:15px/1.4 system-ui,'Segoe UI',sans-serif;margin:20px auto;max-width:1680px;padding:0 16px;"
    u"background:#f5f5f2;color:#222}h1{font-size:24px;margin:0 0 4px}h2{font-size:19px;margin:24px 0 8px}"
    u".top{display:grid;grid-template-columns:repeat(auto-fit,minmax(min(100%,460px),1fr));gap:0 48px}"
    u"table{border-collapse:collapse}td,th{padding:3px 12px 3px 0;text-align:left;vertical-align:top}"
    u"td.n,th.n{text-align:right}td.n{white-space:nowrap}#archives "
    u"td:first-child{overflow-wrap:anywhere}.note{color:#555;max-width:80ch}"
    u".bars{max-width:720px}.row{margin-bottom:8px}.row.shown{font-weight:bold}.words{display:flex;"
    u"flex-wrap:wrap;gap:0 12px}.words span:last-child{margin-left:auto}.bar{height:12px;border-radius:2px}"
    u".curve text{font-size:14px;fill:#222}"
    u".curve{position:relative;padding-left:58px;max-width:662px}.curve svg{display:block;overflow:visible}"
    u".curve .db{position:absolute;left:0;transform:translateY(-50%);font-size:14px;white-space:nowrap}"
    u".axis{display:flex;justify-content:space-between;gap:8px;font-size:14px}"
    u".pairs{display:grid;grid-template-columns:repeat(auto-fill,minmax(min(100%,390px),1fr));gap:12px;"
    u"align-items:start}.pair{background:#fff;border:1px solid #ddd;border-radius:6px;padding:10px;min-width:0;"
    u"cursor:zoom-in}.pair.zoom{grid-column:1/-1;cursor:zoom-out}.pair h3{font-size:15px;margin:0;"
    u"overflow-wrap:anywhere}.pair p{margin:2px 0 8px;font-size:14px;color:#444}"
    u".shots,.detail,.whole{display:flex;gap:8px;align-items:flex-start}.shots{flex-wrap:wrap}"
    u"figure{margin:0;width:min-content}figcaption{font-size:14px;line-height:1.3;color:#555;margin-top:2px}"
    u".small figcaption{white-space:nowrap}.small .frame{width:fit-content}"
    u".frame{display:block;position:relative;background:repeating-conic-gradient(#ccc 0 25%,#fff 0 50%) 0 0/16px "
    u"16px}.frame img{display:block}.spot{position:absolute;box-sizing:border-box;border:2px solid #ff2e88;"
    u"box-shadow:0 0 0 1px #000a}.detail img{width:var(--cw);height:var(--ch)}"
    u".whole{display:none;margin-top:10px}.zoom .whole{display:flex}.whole figure{width:auto;"
    u"flex:0 1 var(--ww);min-width:0}.whole .frame{aspect-ratio:var(--ar)}.whole img{width:100%;height:100%}"
    u"img.px{image-rendering:crisp-edges;image-rendering:pixelated}.missing{display:flex;align-items:center;"
    u"justify-content:center;text-align:center;background:#eee;font-size:14px}"
    u"@media (min-width:600px){.zoom .detail img{width:calc(2*var(--cw));height:calc(2*var(--ch));"
    u"image-rendering:crisp-edges;image-rendering:pixelated}}"
    u"@media (max-width:480px){body{margin-top:12px;padding:0 10px}.pair{padding:8px}.small img{width:64px;"
    u"height:auto}}";

// A click toggles a pair's larger view; its whole pictures are fetched the first time, so that the page opens
// with the small files only.
const char16_t* const Script =
    u"document.querySelectorAll('.pair').forEach(function(p){p.addEventListener('click',function(){"
    u"p.classList.toggle('zoom');p.querySelectorAll('img[data-src]').forEach(function(i){i.src=i.dataset.src;"
    u"i.removeAttribute('data-src');});});});";

// The title, and what the page is about.
FString TitleHtml(const FPreview& Preview)
{
    return FString::Printf(u"<h1>What the textures will look like</h1>\n<p>The choice shown: <b>%s</b>. Nothing was "
                           u"written in the game's folder.</p>\n",
                           *Escape(Capitalized(Preview.Settings.Describe())));
}

// The archives, today's size and the estimate for the choice shown.
FString ArchivesHtml(const FPreview& Preview)
{
    FString Html = u"<h2>The archives</h2>\n<table id=\"archives\"><tr><th>Archive</th><th class=\"n\">Now</th>"
                   u"<th class=\"n\">After (estimated)</th><th class=\"n\">Smaller by</th></tr>\n";
    for (const FPreviewArchive& Archive : Preview.Archives)
        Html += FString::Printf(u"<tr class=\"archive\" data-bytes=\"%lld\" data-estimated-bytes=\"%lld\"><td>%s"
                                u"</td><td class=\"n\">%s</td><td class=\"n\">%s</td><td class=\"n\">%lld%%</td>"
                                u"</tr>\n",
                                (long long)Archive.Bytes, (long long)Archive.EstimatedBytes, *Escape(Archive.Shown),
                                *appFormatMegabytes(Archive.Bytes), *appFormatMegabytes(Archive.EstimatedBytes),
                                (long long)Percent(Archive.EstimatedBytes, Archive.Bytes));
    const FTextureFacts& Facts = Preview.Facts;
    Html += u"</table>\n";
    Html += FString::Printf(u"<p id=\"counts\" data-total=\"%d\" data-change=\"%d\" data-skip=\"%d\" "
                            u"data-stay=\"%d\">%d textures: %d made smaller, %d skipped by the skip rules, %d "
                            u"stay as they are.</p>\n",
                            Facts.Total, Facts.Changed, Facts.Skipped, Facts.KeptAsTheyAre(), Facts.Total,
                            Facts.Changed, Facts.Skipped, Facts.KeptAsTheyAre());
    return Html;
}

// A loss for people: the PSNR in dB, or that nothing is lost.
FString LossText(const FTextureLoss& Loss)
{
    const double Psnr = Loss.Psnr();
    return Loss.IsMeasured() && Psnr < 1000 ? FString::Printf(u"%.1f dB", Psnr) : FString(u"no loss");
}

// The estimated size of every choice, as bars under today's size, with what it loses; the choice shown is
// marked. Each bar has its words on a line above it (two on a narrow screen) and is as long as its share of the
// width. Each choice is numbered as on the curve.
FString ChartHtml(const FPreview& Preview)
{
    const int64_t Now = Preview.Bytes() > 0 ? Preview.Bytes() : 1;
    FString Html = u"<h2>The size of each choice</h2>\n<div class=\"bars\">\n";
    auto Bar = [&](const FString& Label, const FString& Figures, int64_t Bytes, const char16_t* Fill, bool bShown)
    {
        const int64_t Permille = std::max<int64_t>(1, 1000 * std::min(Bytes, Now) / Now);
        Html += FString::Printf(u"<div class=\"row%s\"><div class=\"words\"><span>%s%s</span><span>%s</span></div>"
                                u"<div class=\"bar\" style=\"width:%lld.%lld%%;background:%s\"></div></div>\n",
                                bShown ? u" shown" : u"", *Escape(Label), bShown ? u" (shown)" : u"", *Figures,
                                (long long)(Permille / 10), (long long)(Permille % 10), Fill);
    };
    Bar(FString(u"Now"), appFormatMegabytes(Preview.Bytes()), Preview.Bytes(), u"#9a9a9a", false);
    for (int32_t i = 0; i < Preview.Choices.Num(); ++i)
    {
        const FPreviewChoice& Choice = Preview.Choices[i];
        Bar(FString::Printf(u"%d. %s", i + 1, *Capitalized(Choice.Settings.Describe())),
            appFormatMegabytes(Choice.EstimatedBytes) + u", " + LossText(Choice.Loss), Choice.EstimatedBytes,
            Choice.bShown ? u"#1f6fbf" : u"#9cc3e6", Choice.bShown);
    }
    return Html + u"</div>\n<p class=\"note\">The decibels say what the player sees close up (PSNR, over every "
                  u"texture): the higher, the less is lost; from about 40 dB, nothing shows.</p>\n";
}

// The curve of the archives' size against the loss: the least loss at each size, as the fit chooses, from no
// change to the smallest it reaches, with every choice a point numbered as in the chart above. Losses of 50 dB
// and less (nothing lost included) are drawn at 50 dB. It takes any width with its words at their own size: the
// words are the page's, beside and under a drawing whose sizes are placed in percent of its width and whose line
// is drawn stretched across.
FString CurveHtml(const FPreview& Preview)
{
    if (Preview.Curve.Num() < 2)
        return FString();
    const double Top = 50;
    const double Left = 1, Right = 99; // the sizes' span in percent of the drawing's width
    const int32_t Up = 10, Down = 230; // the loss's span, top to bottom
    int64_t Smallest = Preview.Curve[Preview.Curve.Num() - 1].Bytes, Largest = Preview.Curve[0].Bytes;
    double Floor = Top;
    auto See = [&](int64_t Bytes, const FTextureLoss& Loss)
    {
        Smallest = std::min(Smallest, Bytes);
        Largest = std::max(Largest, Bytes);
        Floor = std::min(Floor, Loss.IsMeasured() ? Loss.Psnr() : Top);
    };
    for (const FFitCurvePoint& Point : Preview.Curve)
        See(Point.Bytes, Point.Loss);
    for (const FPreviewChoice& Choice : Preview.Choices)
        See(Choice.EstimatedBytes, Choice.Loss);
    Floor = std::min(std::floor(Floor / 5) * 5, Top - 5);
    const double Span = double(std::max<int64_t>(Largest - Smallest, 1));
    auto X = [&](int64_t Bytes) { return Left + (Right - Left) * double(Bytes - Smallest) / Span; };
    auto YOf = [&](double Psnr) { return Up + (Down - Up) * (Top - std::min(Psnr, Top)) / (Top - Floor); };
    auto Y = [&](const FTextureLoss& Loss) { return YOf(Loss.IsMeasured() ? Loss.Psnr() : Top); };
    const int32_t Height = Down + Up;
    FString Html = u"<h2>Size against loss</h2>\n<div class=\"curve\">";
    FString Svg = FString::Printf(u"<svg width=\"100%%\" height=\"%d\" role=\"img\" aria-label=\"size against "
                                  u"loss\">\n",
                                  Height);
    // Every 5 dB across.
    for (double Db = Floor; Db <= Top + 0.5; Db += 5)
    {
        Html += FString::Printf(u"<span class=\"db\" style=\"top:%.0fpx\">%s%.0f dB</span>", YOf(Db),
                                Db >= Top ? u"\u2265" : u"", Db);
        Svg += FString::Printf(u"<line x1=\"0\" x2=\"100%%\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#ccc\"/>\n", YOf(Db),
                               YOf(Db));
    }
    FString Line;
    for (const FFitCurvePoint& Point : Preview.Curve)
        Line += FString::Printf(u"%.2f,%.1f ", X(Point.Bytes), Y(Point.Loss));
    Svg += FString::Printf(u"<svg width=\"100%%\" height=\"%d\" viewBox=\"0 0 100 %d\" preserveAspectRatio=\"none\">"
                           u"<polyline id=\"fit-curve\" points=\"%s\" fill=\"none\" stroke=\"#1f6fbf\" "
                           u"stroke-width=\"2\" vector-effect=\"non-scaling-stroke\"/></svg>\n",
                           Height, Height, *Line);
    // The choices' numbers beside their points, moved up where two would cover each other.
    TDynArray<double> Placed; // the labels' x (percent) and y, in pairs
    for (int32_t i = 0; i < Preview.Choices.Num(); ++i)
    {
        const FPreviewChoice& Choice = Preview.Choices[i];
        const double Px = X(Choice.EstimatedBytes), Py = Y(Choice.Loss);
        double Ly = Py + 5;
        for (bool bMoved = true; bMoved;)
        {
            bMoved = false;
            for (int32_t j = 0; j + 1 < Placed.Num(); j += 2)
                if (std::fabs(Placed[j] - Px) < 4 && std::fabs(Placed[j + 1] - Ly) < 15)
                {
                    Ly = Placed[j + 1] - 15;
                    bMoved = true;
                }
        }
        Placed.AddItem(Px);
        Placed.AddItem(Ly);
        const bool bLeft = Px > Right - 6;
        Svg += FString::Printf(u"<circle class=\"choice\" cx=\"%.2f%%\" cy=\"%.1f\" r=\"%d\" fill=\"%s\"/>"
                               u"<text x=\"%.2f%%\" dx=\"%d\" y=\"%.1f\"%s%s>%d</text>\n",
                               Px, Py, Choice.bShown ? 6 : 4, Choice.bShown ? u"#1f6fbf" : u"#555", Px,
                               bLeft ? -9 : 9, Ly, bLeft ? u" text-anchor=\"end\"" : u"",
                               Choice.bShown ? u" font-weight=\"bold\"" : u"", i + 1);
    }
    Html += Svg + FString::Printf(u"</svg><div class=\"axis\"><span>%s</span><span>size of the archives</span>"
                                  u"<span>%s</span></div></div>\n",
                                  *appFormatMegabytes(Smallest), *appFormatMegabytes(Largest));
    return Html + u"<p class=\"note\">The line is the least loss at each size, as the fit (<code>--fit</code>, "
                  u"\u201cFit in ... MB\u201d) chooses the textures to make smaller: those that lose the least for "
                  u"the bytes they save first. The numbers are the choices beside; a choice below the line loses "
                  u"more than it has to for its size.</p>\n";
}

// What the page draws of a pair beyond its two whole pictures, made once for the files and the page.
struct FPairPictures
{
    FTexturePicture Small;
    FPreviewDetail Detail;
};

// The files of a pair, in the order the marker lists them.
enum EPairFile : int32_t
{
    PAIRFILE_Small,
    PAIRFILE_DetailBefore,
    PAIRFILE_DetailAfter,
    PAIRFILE_Before,
    PAIRFILE_After,
    PAIRFILE_Count,
};

FString PairFileName(int32_t Number, int32_t File)
{
    const char16_t* const Names[PAIRFILE_Count] = {u"small", u"detail-before", u"detail-after", u"before", u"after"};
    return FString::Printf(u"%03d-%s.png", Number, Names[File]);
}

const FTexturePicture& PairFilePicture(const FTexturePair& Pair, const FPairPictures& Shown, int32_t File)
{
    switch (File)
    {
        case PAIRFILE_Small:
            return Shown.Small;
        case PAIRFILE_DetailBefore:
            return Shown.Detail.Before;
        case PAIRFILE_DetailAfter:
            return Shown.Detail.After;
        case PAIRFILE_Before:
            return Pair.Before;
        default:
            return Pair.After;
    }
}

// A picture of Width x Height CSS pixels over the checkerboard, or a box of that size that says it cannot be
// shown. Its file is fetched at once, or only when the pair is first clicked (bLater: a whole picture, whose box
// takes its size from the figure it is in). Inside goes over it.
FString FrameHtml(const FTexturePicture& Picture, const FString& File, int32_t Width, int32_t Height,
                  const char16_t* Alt, const char16_t* Class, bool bLater, const FString& Inside = FString())
{
    if (Picture.IsEmpty())
        return bLater ? FString(u"<span class=\"frame missing\">cannot be shown</span>")
                      : FString::Printf(u"<span class=\"frame missing\" style=\"width:%dpx;height:%dpx\">cannot be "
                                        u"shown</span>",
                                        Width, Height);
    return FString::Printf(u"<span class=\"frame\"><img %s=\"%s\" width=\"%d\" height=\"%d\" alt=\"%s\"%s%s%s>%s"
                           u"</span>",
                           bLater ? u"data-src" : u"src", *File, Width, Height, Alt, *Class ? u" class=\"" : u"", Class,
                           *Class ? u"\"" : u"", *Inside);
}

// The whole texture small, the part shown up close framed on it.
FString SmallHtml(const FTexturePair& Pair, const FPairPictures& Shown, int32_t Number)
{
    const FPreviewDetail& Detail = Shown.Detail;
    const int32_t Width = Pair.Before.Width, Height = Pair.Before.Height;
    FString Spot;
    if (!Detail.IsEmpty() && (Detail.Before.Width < Width || Detail.Before.Height < Height))
        Spot = FString::Printf(u"<span class=\"spot\" style=\"left:calc(100%%*%d/%d);top:calc(100%%*%d/%d);"
                               u"width:calc(100%%*%d/%d);height:calc(100%%*%d/%d)\"></span>",
                               Detail.X, Width, Detail.Y, Height, Detail.Before.Width, Width, Detail.Before.Height,
                               Height);
    return u"<figure class=\"small\">" +
           FrameHtml(Shown.Small, PairFileName(Number, PAIRFILE_Small),
                     Shown.Small.IsEmpty() ? PREVIEW_SmallSide : Shown.Small.Width,
                     Shown.Small.IsEmpty() ? PREVIEW_SmallSide : Shown.Small.Height, u"The whole texture", u"", false,
                     Spot) +
           u"<figcaption>The whole</figcaption></figure>";
}

// The part where the shrink loses the most: the original's pixels as they are beside the shrunk texture's,
// magnified to the same size.
FString DetailHtml(const FTexturePair& Pair, const FPreviewDetail& Detail, int32_t Number)
{
    const FTextureFact& Fact = Pair.Fact;
    const int32_t Width = std::min<int32_t>(PREVIEW_DetailSide, Fact.Width);
    const int32_t Height = std::min<int32_t>(PREVIEW_DetailSide, Fact.Height);
    auto Shrunk = [](int32_t Value, int32_t To, int32_t From)
    { return From > 0 ? std::max(1, int32_t((int64_t(Value) * To + From / 2) / From)) : Value; };
    FString Html = FString::Printf(u"<div class=\"detail\" style=\"--cw:%dpx;--ch:%dpx\"><figure>", Width, Height);
    Html += FrameHtml(Detail.Before, PairFileName(Number, PAIRFILE_DetailBefore), Width, Height, u"Before", u"", false);
    Html += FString::Printf(u"<figcaption><b>Before</b><br>%dx%d pixels</figcaption></figure><figure>", Width, Height);
    Html += FrameHtml(Detail.After, PairFileName(Number, PAIRFILE_DetailAfter), Width, Height, u"After", u"", false);
    return Html + FString::Printf(u"<figcaption><b>After</b><br>%dx%d pixels, magnified</figcaption></figure></div>",
                                  Shrunk(Width, Fact.NewWidth, Fact.Width),
                                  Shrunk(Height, Fact.NewHeight, Fact.Height));
}

// The whole textures before and after, drawn at the same size (the original's own, up to ZoomedSide), shown when
// the pair is clicked.
FString WholeHtml(const FTexturePair& Pair, int32_t Number)
{
    const FTextureFact& Fact = Pair.Fact;
    FString Html = u"<div class=\"whole\"><figure>";
    Html +=
        FrameHtml(Pair.Before, PairFileName(Number, PAIRFILE_Before), Fact.Width, Fact.Height, u"Before", u"", true);
    Html += FString::Printf(u"<figcaption>Before, %dx%d</figcaption></figure><figure>", Fact.Width, Fact.Height);
    Html += FrameHtml(Pair.After, PairFileName(Number, PAIRFILE_After), Fact.Width, Fact.Height, u"After", u"px", true);
    return Html + FString::Printf(u"<figcaption>After, %dx%d, its pixels drawn larger</figcaption></figure></div>",
                                  Fact.NewWidth, Fact.NewHeight);
}

FString PairHtml(const FPreview& Preview, const FTexturePair& Pair, const FPairPictures& Shown, int32_t Number)
{
    const FTextureFact& Fact = Pair.Fact;
    const int32_t Larger = std::max(Fact.Width, Fact.Height);
    const int32_t Zoomed = Larger > ZoomedSide ? int32_t(int64_t(Fact.Width) * ZoomedSide / Larger) : Fact.Width;
    const FString Where = Preview.Archives.Num() > 1 ? Preview.Archives[Pair.Archive].Shown + u": " : FString();
    FString Html = FString::Printf(
        u"<div class=\"pair\" style=\"--ww:%dpx;--ar:%d/%d\" title=\"Click to see it larger\"><h3>%s%s.txd / %s</h3>"
        u"<p>%s, %dx%d \u2192 %dx%d, %s saved%s</p><div class=\"shots\">",
        std::max(Zoomed, 1), std::max(Fact.Width, 1), std::max(Fact.Height, 1), *Escape(Where), *Escape(Fact.TxdName),
        *Escape(Fact.Name), *Escape(Fact.FormatName()), Fact.Width, Fact.Height, Fact.NewWidth, Fact.NewHeight,
        *appFormatSize(Fact.Bytes - Fact.NewBytes),
        Fact.Loss.IsMeasured() ? *(u", " + LossText(Fact.Loss) + u" close up") : u"");
    Html += SmallHtml(Pair, Shown, Number) + DetailHtml(Pair, Shown.Detail, Number);
    return Html + u"</div>" + WholeHtml(Pair, Number) + u"</div>\n";
}

// The textures the choice leaves as they are, by reason, so that nothing is hidden.
FString KeptHtml(const FTextureFacts& Facts)
{
    const struct
    {
        int32_t Count;
        const char16_t* Reason;
    } Rows[] = {
        {Facts.Skipped, u"skipped by the skip rules"},
        {Facts.TooSmall, u"too small for this choice"},
        {Facts.Palette, u"palette textures"},
        {Facts.BrokenLevels, u"broken levels (a smaller level holds too few bytes)"},
        {Facts.NotUnderstood, u"an unknown format, or levels that cannot be decoded"},
        {Facts.TooLargeToDecode, u"too large to decode"},
        {Facts.MalformedEntries, u"texture dictionaries that cannot be read (copied whole)"},
    };
    FString Html = u"<h2>Left as they are</h2>\n<table id=\"kept\">\n";
    for (const auto& Row : Rows)
        if (Row.Count > 0)
            Html += FString::Printf(u"<tr><td class=\"n\">%d</td><td>%s</td></tr>\n", Row.Count, Row.Reason);
    return Html + u"</table>\n";
}

FString PageHtml(const FPreview& Preview, const TDynArray<FPairPictures>& Shown)
{
    FString Html = FString::Printf(u"<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<meta "
                                   u"name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n<meta "
                                   u"name=\"generator\" content=\"pellmor preview\">\n<title>Texture preview: %s"
                                   u"</title>\n<style>%s</style></head>\n<body>\n",
                                   *Escape(Preview.Settings.Describe()), Style);
    Html += TitleHtml(Preview) + u"<div class=\"top\"><section>" + ArchivesHtml(Preview) + CurveHtml(Preview) +
            u"</section><section>" + ChartHtml(Preview) + u"</section></div>\n";
    Html += FString::Printf(
        u"<h2>The %d textures this choice saves the most on</h2>\n<p class=\"note\">Each one small, with the part "
        u"framed where it loses the most: before, pixel for pixel, and after, as the game draws it up close "
        u"(magnified back smoothly, as the graphics card does); see-through parts over a checkerboard. Click one to "
        u"see it larger.</p>\n<div "
        u"class=\"pairs\" id=\"saves-most\">\n",
        Preview.Pairs.Num());
    int32_t Number = 0;
    for (const FTexturePair& Pair : Preview.Pairs)
        Html += PairHtml(Preview, Pair, Shown[Number], Number + 1), ++Number;
    Html += u"</div>\n";
    if (Preview.LosesMost.Num() > 0)
    {
        Html += FString::Printf(u"<h2>The %d textures this choice loses the most on</h2>\n<p class=\"note\">Signs, "
                                u"lettering and fine patterns lose the most; the lower the decibels, the more it "
                                u"shows.</p>\n<div class=\"pairs\" id=\"loses-most\">\n",
                                Preview.LosesMost.Num());
        for (const FTexturePair& Pair : Preview.LosesMost)
            Html += PairHtml(Preview, Pair, Shown[Number], Number + 1), ++Number;
        Html += u"</div>\n";
    }
    Html += KeptHtml(Preview.Facts);
    return Html + FString::Printf(u"<script>%s</script>\n</body></html>\n", Script);
}

// The pairs the page draws, numbered from 1 in this order for their files: those saved the most on, then those
// lost the most on.
TDynArray<const FTexturePair*> PagePairs(const FPreview& Preview)
{
    TDynArray<const FTexturePair*> Pairs;
    for (const TDynArray<FTexturePair>* List : {&Preview.Pairs, &Preview.LosesMost})
        for (const FTexturePair& Pair : *List)
            Pairs.AddItem(&Pair);
    return Pairs;
}

void AppendPng(void* Context, void* Data, int Size)
{
    FByteArray& Out = *static_cast<FByteArray*>(Context);
    const int32_t At = Out.Num();
    Out.SetNum(At + Size);
    std::memcpy(Out.GetData() + At, Data, size_t(Size));
}
} // namespace

FByteArray EncodePng(const FTexturePicture& Picture)
{
    FByteArray Png;
    if (!Picture.IsEmpty())
        stbi_write_png_to_func(&AppendPng, &Png, Picture.Width, Picture.Height, 4, Picture.Rgba.GetData(),
                               Picture.Width * 4);
    return Png;
}

bool CanWritePreview(const FString& Dir, FString& Why)
{
    const EDiskEntry Entry = FGameDisk::WhatIsAt(Dir);
    if (Entry == EDiskEntry::None)
        return true;
    TDynArray<FString> Ours;
    if (Entry == EDiskEntry::Folder)
    {
        if (ReadOurFiles(Dir, Ours))
            return true;
        if (FGameDisk::ListFolder(Dir).Num() == 0)
            return true;
    }
    Why =
        FString::Printf(u"%s is there and holds no preview page of pellmor's; name another folder for the page", *Dir);
    return false;
}

bool WritePreviewPage(const FString& Dir, const FPreview& Preview, FString& Why)
{
    if (!CanWritePreview(Dir, Why))
        return false;
    TDynArray<FString> Old;
    if (ReadOurFiles(Dir, Old))
        for (const FString& Name : Old)
            FGameDisk::Delete(appPathJoin(Dir, Name));
    FGameDisk::MakeFolder(Dir);
    const TDynArray<const FTexturePair*> Pairs = PagePairs(Preview);
    TDynArray<FPairPictures> Shown;
    for (const FTexturePair* Pair : Pairs)
        Shown.AddItem(FPairPictures{MakeSmallPicture(Pair->Before), FindPreviewDetail(Pair->Before, Pair->After)});
    // The marker first, naming every file: a page cut short by a failure is still known as ours.
    std::string Marker = std::string(MarkerTitle) + "\nindex.html\n";
    for (int32_t i = 0; i < Pairs.Num() * PAIRFILE_Count; ++i)
        Marker += PairFileName(i / PAIRFILE_Count + 1, i % PAIRFILE_Count).ToUtf8() + "\n";
    bool bOk = FGameDisk::WriteBytes(appPathJoin(Dir, MarkerName), Marker.data(), Marker.size());
    for (int32_t i = 0; i < Pairs.Num() * PAIRFILE_Count && bOk; ++i)
    {
        const int32_t Pair = i / PAIRFILE_Count, File = i % PAIRFILE_Count;
        const FTexturePicture& Picture = PairFilePicture(*Pairs[Pair], Shown[Pair], File);
        const FByteArray Png = EncodePng(Picture);
        bOk = Picture.IsEmpty() ||
              (Png.Num() > 0 &&
               FGameDisk::WriteBytes(appPathJoin(Dir, PairFileName(Pair + 1, File)), Png.GetData(), size_t(Png.Num())));
    }
    const std::string Html = PageHtml(Preview, Shown).ToUtf8();
    bOk = bOk && FGameDisk::WriteBytes(appPathJoin(Dir, FString(u"index.html")), Html.data(), Html.size());
    if (!bOk)
        Why = FString::Printf(u"cannot write the preview page in %s", *Dir);
    return bOk;
}
