// Which texture archives the game loads besides Models\gta3.img: the IMG (and, in older files, CDIMAGE) lines of
// data\gta.dat, each naming an archive relative to the game folder (Models\gta_int.img, a mod's own archive).
// Also the archive a user names on the command line. Reads only; any thread.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"

// Why a line of gta.dat names no archive that is taken.
enum class EGameDatProblem : int32_t
{
    TooLong,      // longer than any real line: skipped
    NotText,      // holds bytes that are no printable ASCII: skipped
    NoName,       // an IMG line without a name
    OutsideGame,  // an absolute name, or one that climbs out with "..": refused, never followed
    NotFound,     // names an archive that is not there (neither it nor its kept original)
};

struct FGameDatNote
{
    int32_t Line = 0; // 1-based line of gta.dat
    FString Text;     // the line as read (cut to a readable length)
    EGameDatProblem Problem = EGameDatProblem::TooLong;
};

// An archive name as gta.dat writes it, with the line it came from.
struct FGameDatEntry
{
    int32_t Line = 0;
    FString Name; // relative to the game folder, as written ("MODELS\GTA_INT.IMG")
};

// Which lines of gta.dat (or default.dat) are read.
enum class EGameDatLines : int32_t
{
    Archives,     // IMG and CDIMAGE: the archives the game opens
    Dictionaries, // TEXDICTION: loose texture dictionaries the game loads
};

// The lines of gta.dat's text that name files of the kind Lines asks for, in order; odd lines go to Notes. Text
// holds one unit per byte of the file.
TDynArray<FGameDatEntry> ParseGameDat(const FString& Text, TDynArray<FGameDatNote>& Notes,
                                      EGameDatLines Lines = EGameDatLines::Archives);
// The path of a name of gta.dat below the game folder Dir (ending with a separator).
FString GameDatPath(const FString& Dir, const FString& Name);

// Every archive a shrink of the whole game takes: gta3.img first, then those that gta.dat names, existing ones
// only, each once (the same file under another spelling counts once), in the order of gta.dat.
struct FGameArchiveList
{
    TDynArray<FString> Archives; // full paths below the game folder
    bool bDatRead = false;       // false: gta.dat is missing or unreadable, so only gta3.img is listed
    FString DatPath;             // where gta.dat was looked for
    TDynArray<FGameDatNote> Notes;
};
// Dir is the game folder, ending with a separator.
FGameArchiveList ListGameArchives(const FString& Dir);

// The archive that a user names: a path below the game folder ("models/gta_int.img", either separator, any
// case) or a bare name in Models ("gta_int", "gta_int.img"). False when the name leaves the game folder; Path is
// then empty. Whether the archive exists is not asked.
bool ResolveArchiveName(const FString& Dir, const FString& Name, FString& Path);

// Whether an archive is there for a transaction: its NAME.img or its kept original NAME_ORIG_BAK.img.
bool ArchiveExists(const FString& Path);
