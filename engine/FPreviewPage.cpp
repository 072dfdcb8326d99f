// The preview page: index.html with inline styles, an inline SVG chart and a few lines of plain JavaScript, one
// PNG file per picture, and the marker that says the folder holds a page of ours. Nothing is fetched from
// anywhere: the page works offline.
#include "engine/FPreviewPage.h"

#include <cstring>
#include <string>

#include "Core/Inc/CoreFileRaw.h"
#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtf8.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"

namespace
{
// The marker's name and its first line; the lines after it name the files the page is made of.
const char16_t* const MarkerName = u".pellmor-preview";
const char* const MarkerTitle = "pellmor preview page";

// The pictures' boxes on the page: the larger side of a pair drawn at least Small, at most Large CSS pixels (a
// click shows the pair at the original's own size, up to Zoomed).
const int32_t SmallSide = 128, LargeSide = 320, ZoomedSide = 1024;

bool WriteBytes(const FString& Path, const void* Data, size_t Count)
{
    FFileHandle File = appFileOpenWrite(*Path);
    if (!File)
        return false;
    const bool bWritten = appFileWrite(File, Data, uint32_t(Count)) == uint32_t(Count);
    appFileClose(File);
    return bWritten;
}

// The file's bytes, up to a size a marker never reaches; empty when it cannot be read.
std::string ReadMarker(const FString& Path)
{
    FFileHandle File = appFileOpenRead(*Path);
    if (!File)
        return std::string();
    char Buffer[65536];
    const uint32_t Count = appFileRead(File, Buffer, sizeof(Buffer));
    appFileClose(File);
    return std::string(Buffer, Count);
}

// The names the marker in Dir lists, when Dir holds a page of ours.
bool ReadOurFiles(const FString& Dir, TDynArray<FString>& Names)
{
    const std::string Text = ReadMarker(appPathJoin(Dir, MarkerName));
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

void CountEntry(void* Context, const char16_t* Name, bool)
{
    const FString Entry(Name);
    if (Entry != u"." && Entry != u"..")
        ++*static_cast<int32_t*>(Context);
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
    u"body{font:15px/1.4 system-ui,'Segoe UI',sans-serif;margin:24px auto;max-width:1120px;padding:0 16px;"
    u"background:#f5f5f2;color:#222}h1{font-size:24px;margin:0 0 4px}h2{font-size:19px;margin:32px 0 8px}"
    u"table{border-collapse:collapse}td,th{padding:3px 12px 3px 0;text-align:left}td.n,th.n{text-align:right}"
    u".note{color:#555}.chart text{font-size:13px;fill:#222}.pairs{display:flex;flex-wrap:wrap;gap:16px}"
    u".pairs{align-items:flex-start}.pair{background:#fff;border:1px solid "
    u"#ddd;border-radius:6px;padding:10px;cursor:zoom-in}"
    u".pair.zoom{cursor:zoom-out;flex-basis:100%}.pair h3{font-size:14px;margin:0;word-break:break-all}"
    u".pair p{margin:2px 0 8px;font-size:13px;color:#444}.shots{display:flex;gap:10px;align-items:flex-start}"
    u"figure{margin:0}figcaption{font-size:12px;color:#555}.frame{display:block;"
    u"background:repeating-conic-gradient(#ccc 0 25%,#fff 0 50%) 0 0/16px 16px}"
    u".frame img{display:block;width:var(--w);height:var(--h)}.zoom .frame img{width:var(--zw);height:var(--zh)}"
    u"img.px{image-rendering:pixelated;image-rendering:crisp-edges}.missing{width:var(--w);height:var(--h);"
    u"display:flex;align-items:center;justify-content:center;background:#eee;font-size:12px}";

const char16_t* const Script = u"document.querySelectorAll('.pair').forEach(function(p){p.addEventListener('click',"
                               u"function(){p.classList.toggle('zoom');});});";

// The top of the page: the archives, today's size and the estimate for the choice shown.
FString ArchivesHtml(const FPreview& Preview)
{
    FString Html = FString::Printf(u"<h1>What the textures will look like</h1>\n<p>The choice shown: <b>%s</b>. "
                                   u"Nothing was written in the game's folder.</p>\n",
                                   *Escape(Capitalized(Preview.Settings.Describe())));
    Html += u"<table id=\"archives\"><tr><th>Archive</th><th class=\"n\">Now</th><th class=\"n\">After "
            u"(estimated)</th><th class=\"n\">Smaller by</th></tr>\n";
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

// The estimated size of every choice, as bars under today's size; the choice shown is marked.
FString ChartHtml(const FPreview& Preview)
{
    const int32_t LabelWidth = 230, BarWidth = 520, Row = 30;
    const int64_t Now = Preview.Bytes() > 0 ? Preview.Bytes() : 1;
    const int32_t Height = Row * (Preview.Choices.Num() + 1) + 8;
    FString Svg = FString::Printf(u"<h2>The size of each choice</h2>\n<svg class=\"chart\" width=\"%d\" height=\"%d\" "
                                  u"viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"estimated sizes\">\n",
                                  LabelWidth + BarWidth + 170, Height, LabelWidth + BarWidth + 170, Height);
    auto Bar = [&](int32_t Index, const FString& Label, int64_t Bytes, const char16_t* Fill, bool bShown)
    {
        const int32_t Y = 4 + Index * Row;
        const int32_t Width = int32_t(int64_t(BarWidth) * (Bytes < Now ? Bytes : Now) / Now);
        Svg += FString::Printf(
            u"<text x=\"%d\" y=\"%d\" text-anchor=\"end\"%s>%s</text><rect x=\"%d\" y=\"%d\" width=\"%d\" "
            u"height=\"%d\" fill=\"%s\" rx=\"2\"/><text x=\"%d\" y=\"%d\"%s>%s%s</text>\n",
            LabelWidth - 8, Y + 17, bShown ? u" font-weight=\"bold\"" : u"", *Escape(Label), LabelWidth, Y,
            Width < 1 ? 1 : Width, Row - 8, Fill, LabelWidth + Width + 6, Y + 17,
            bShown ? u" font-weight=\"bold\"" : u"", *appFormatMegabytes(Bytes), bShown ? u"  \u25c0 shown" : u"");
    };
    Bar(0, FString(u"Now"), Preview.Bytes(), u"#9a9a9a", false);
    for (int32_t i = 0; i < Preview.Choices.Num(); ++i)
    {
        const FPreviewChoice& Choice = Preview.Choices[i];
        Bar(i + 1, Capitalized(Choice.Settings.Describe()), Choice.EstimatedBytes,
            Choice.bShown ? u"#1f6fbf" : u"#9cc3e6", Choice.bShown);
    }
    return Svg + u"</svg>\n";
}

// The size a picture of Width x Height is drawn at when its pair's larger side is drawn as Side.
FString BoxStyle(const FTexturePicture& Before, int32_t Side, int32_t Zoomed)
{
    const int32_t Larger = Before.Width > Before.Height ? Before.Width : Before.Height;
    auto Scaled = [Larger](int32_t Value, int32_t To)
    { return Larger > 0 ? int32_t(int64_t(Value) * To / Larger) : To; };
    return FString::Printf(u"--w:%dpx;--h:%dpx;--zw:%dpx;--zh:%dpx", Scaled(Before.Width, Side),
                           Scaled(Before.Height, Side), Scaled(Before.Width, Zoomed), Scaled(Before.Height, Zoomed));
}

// One side of a pair: the picture over the checkerboard, drawn in the pair's box.
FString ShotHtml(const FTexturePicture& Picture, const FString& File, const char16_t* Caption, bool bPixelated)
{
    FString Html = u"<figure><span class=\"frame\">";
    if (Picture.IsEmpty())
        Html += u"<span class=\"missing\">cannot be shown</span>";
    else
        Html += FString::Printf(u"<img src=\"%s\" alt=\"%s\"%s>", *File, Caption, bPixelated ? u" class=\"px\"" : u"");
    return Html + FString::Printf(u"</span><figcaption>%s, %dx%d</figcaption></figure>", Caption, Picture.Width,
                                  Picture.Height);
}

FString PairHtml(const FPreview& Preview, const FTexturePair& Pair, int32_t Number)
{
    const FTextureFact& Fact = Pair.Fact;
    const int32_t Larger = Fact.Width > Fact.Height ? Fact.Width : Fact.Height;
    const int32_t Side = Larger < SmallSide ? SmallSide : Larger > LargeSide ? LargeSide : Larger;
    const int32_t Zoomed = Larger < LargeSide ? LargeSide * 2 : Larger > ZoomedSide ? ZoomedSide : Larger;
    const FString Where = Preview.Archives.Num() > 1 ? Preview.Archives[Pair.Archive].Shown + u": " : FString();
    FString Html = FString::Printf(
        u"<div class=\"pair\" style=\"%s\" title=\"Click to see it larger\"><h3>%s%s.txd / %s</h3><p>%s, %dx%d "
        u"\u2192 %dx%d, %s saved</p><div class=\"shots\">",
        *BoxStyle(Pair.Before.IsEmpty() ? FTexturePicture{Fact.Width, Fact.Height, {}} : Pair.Before, Side, Zoomed),
        *Escape(Where), *Escape(Fact.TxdName), *Escape(Fact.Name), *Escape(Fact.FormatName()), Fact.Width, Fact.Height,
        Fact.NewWidth, Fact.NewHeight, *appFormatSize(Fact.Bytes - Fact.NewBytes));
    Html += ShotHtml(Pair.Before, FString::Printf(u"%03d-before.png", Number), u"Before", Larger < Side);
    Html += ShotHtml(Pair.After, FString::Printf(u"%03d-after.png", Number), u"After", true);
    return Html + u"</div></div>\n";
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

FString PageHtml(const FPreview& Preview)
{
    FString Html = FString::Printf(u"<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<meta "
                                   u"name=\"generator\" content=\"pellmor preview\">\n<title>Texture preview: %s"
                                   u"</title>\n<style>%s</style></head>\n<body>\n",
                                   *Escape(Preview.Settings.Describe()), Style);
    Html += ArchivesHtml(Preview) + ChartHtml(Preview);
    Html += FString::Printf(u"<h2>The %d textures this choice saves the most on</h2>\n<p class=\"note\">Before and "
                            u"after at the same size on the page, the smaller one scaled up pixel by pixel as the "
                            u"game shows it up close; see-through parts over a checkerboard. Click a pair to see "
                            u"it larger.</p>\n<div class=\"pairs\">\n",
                            Preview.Pairs.Num());
    for (int32_t i = 0; i < Preview.Pairs.Num(); ++i)
        Html += PairHtml(Preview, Preview.Pairs[i], i + 1);
    Html += u"</div>\n" + KeptHtml(Preview.Facts);
    return Html + FString::Printf(u"<script>%s</script>\n</body></html>\n", Script);
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
    const uint32_t Attributes = CoreOS::FileGetAttributes(*Dir);
    if (Attributes == CoreOS::FILEATTR_Invalid)
        return true;
    TDynArray<FString> Ours;
    int32_t Entries = 0;
    if (Attributes & CoreOS::FILEATTR_Directory)
    {
        if (ReadOurFiles(Dir, Ours))
            return true;
        CoreOS::FindFiles(*appPathJoin(Dir, FString(u"*")), &CountEntry, &Entries);
        if (Entries == 0)
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
            appFileDelete(*appPathJoin(Dir, Name));
    CoreOS::DirMake(*Dir);
    // The marker first, naming every file: a page cut short by a failure is still known as ours.
    TDynArray<FString> Names;
    std::string Marker = std::string(MarkerTitle) + "\nindex.html\n";
    for (int32_t i = 0; i < Preview.Pairs.Num() * 2; ++i)
    {
        Names.AddItem(FString::Printf(u"%03d-%s.png", i / 2 + 1, i % 2 == 0 ? u"before" : u"after"));
        Marker += Names.Last().ToUtf8() + "\n";
    }
    bool bOk = WriteBytes(appPathJoin(Dir, MarkerName), Marker.data(), Marker.size());
    for (int32_t i = 0; i < Names.Num() && bOk; ++i)
    {
        const FTexturePair& Pair = Preview.Pairs[i / 2];
        const FTexturePicture& Picture = i % 2 == 0 ? Pair.Before : Pair.After;
        const FByteArray Png = EncodePng(Picture);
        bOk = Picture.IsEmpty() ||
              (Png.Num() > 0 && WriteBytes(appPathJoin(Dir, Names[i]), Png.GetData(), size_t(Png.Num())));
    }
    const std::string Html = PageHtml(Preview).ToUtf8();
    bOk = bOk && WriteBytes(appPathJoin(Dir, FString(u"index.html")), Html.data(), Html.size());
    if (!bOk)
        Why = FString::Printf(u"cannot write the preview page in %s", *Dir);
    return bOk;
}
