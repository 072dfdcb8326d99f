// A preview of a shrink for players: dry runs of the archives for every choice a player is shown, the textures the
// chosen one saves the most bytes on decoded before and after, and a page of our own (index.html and PNG files)
// that shows them, offline.
#pragma once

#include <atomic>
#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "engine/FGameFiles.h"
#include "shrinker/FImgShrinker.h"
#include "shrinker/FTexturePictures.h"

// The textures a preview shows in pictures when no count is asked.
enum : int32_t
{
    PREVIEW_DefaultCount = 24,
    PREVIEW_MaxCount = 1000,
    // The textures shown that the choice loses the most on (fewer when fewer are asked for).
    PREVIEW_LosesMostCount = 12,
    // The points of the curve of size against loss.
    PREVIEW_CurvePoints = 120,
    // A texture above this many pixels has its loss estimated from some of its rows.
    PREVIEW_LossSampledPixels = 65536,
};

// What one choice makes of all the archives together.
struct FPreviewChoice
{
    FShrinkSettings Settings;
    int64_t EstimatedBytes = 0;
    int32_t Changed = 0; // textures made smaller
    FTextureLoss Loss;   // over every texture, as the player sees them close up (FLossTally::All)
    bool bShown = false; // the choice the page is about
};

// One archive of the preview.
struct FPreviewArchive
{
    FString Path;  // as opened
    FString Shown; // as people are shown it
    int64_t Bytes = 0;
    int64_t EstimatedBytes = 0; // with the choice shown
};

// Everything the page shows.
struct FPreview
{
    FShrinkSettings Settings; // the choice shown
    TDynArray<FPreviewArchive> Archives;
    // The standard shrink, the standard shrink smooth, at most 1024, 512, 256 and 128 pixels, and the choice
    // shown after them when it is none of those.
    TDynArray<FPreviewChoice> Choices;
    FTextureFacts Facts;           // of the choice shown, over all the archives
    TDynArray<FTexturePair> Pairs; // the textures it saves the most bytes on, the most first
    TDynArray<FTexturePair> LosesMost; // the textures it loses the most on, the most first
    // The least loss at each size the archives can be brought to (the fit's trade), from no change to the smallest.
    TDynArray<FFitCurvePoint> Curve;

    int64_t Bytes() const;
    int64_t EstimatedBytes() const;
};

// What a preview is made of.
struct FPreviewRequest : FShrinkChoice
{
    TDynArray<FString> Archives; // paths of the archives, in the order shown
    TDynArray<FString> Shown;    // how each is shown to people (empty: the paths)
    int32_t Count = PREVIEW_DefaultCount;
    std::atomic<int32_t>* Cancel = nullptr;      // read between the entries of the dry runs
    struct FPreviewProgress* Progress = nullptr; // written as the work goes on, when given
};

// How far a preview is: Step of Steps done, Percent of the step at work. Written by the preview's thread, read by
// any.
struct FPreviewProgress
{
    std::atomic<int32_t> Step{0};
    std::atomic<int32_t> Steps{1};
    std::atomic<int32_t> Percent{0};
    // 0 to 100 over the whole preview.
    int32_t Overall() const;
};

// How making a preview ended.
struct FPreviewResult
{
    bool bOk = false;
    bool bCancelled = false;
    FString FailedArchive; // the archive whose dry run failed (Shrink says how)
    FShrinkResult Shrink;  // of that archive
    FString Reason;        // a failure of the page's folder, for people
    FString PagePath;      // DIR/index.html once written
};

// The dry runs and the pictures: Out gets the facts of Request.Settings over every archive, the estimate and the
// loss of each choice (each a dry run that measures what every texture loses), the Request.Count textures it
// saves the most bytes on and the textures it loses the most on, decoded, and the curve of the fit's trade
// (a measure of the archives as the fit mode takes it, numbers only). Fails at the first archive whose dry run fails, or at a cancel. Blocks; any one thread.
FPreviewResult MakePreview(const FPreviewRequest& Request, FPreview& Out);

// Whether Dir may take a page: it does not exist, is an empty folder, or holds a page of ours (its marker file).
// False with the reason for people otherwise.
bool CanWritePreview(const FString& Dir, FString& Why);
// Writes the page into Dir (made when missing): the files of a page of ours that it held are removed first,
// then DIR/index.html, the marker that lists the files, and five PNG files a pair: the original small, the part
// of it shown up close before and after (FindPreviewDetail) and the whole pictures. Nothing else in Dir is
// touched. False with the reason for people when Dir may not take a page or a file cannot be written.
bool WritePreviewPage(const FString& Dir, const FPreview& Preview, FString& Why);
// Encodes a picture as a PNG file's bytes (stb_image_write).
FByteArray EncodePng(const FTexturePicture& Picture);

// The archive of a set that a preview is made of: the kept original while the game is shrunk, else the one in
// use.
FString GetPreviewSource(const FArchiveFiles& Files);

// MakePreview, then WritePreviewPage into Dir: the whole of a preview, as pellmor preview and the engine's
// MakePreview job do it.
FPreviewResult MakePreviewPage(const FPreviewRequest& Request, const FString& Dir);
