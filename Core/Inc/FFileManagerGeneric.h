// FFileManagerGeneric: the parts of the file manager written on top of its own operations: the archive copy
// (with progress) and the directory-tree walks. Same thread and blocking rules as FFileManager.
#pragma once

#include "Core/Inc/FFileManager.h"

namespace Core
{
namespace Imp
{
class FFileManagerGeneric : public Core::Service::FFileManager
{
public:
    // The archive copy: readers and writers in 32768-byte steps, Progress told of each new whole percentage.
    // A failed copy deletes the unfinished Dest (an existing Dest kept by !bReplace is never touched). A copy
    // onto Src itself is refused (COPY_Fail) before anything is opened.
    Core::Service::ECopyResult Copy(const char16_t* Dest, const char16_t* Src, bool bReplace, bool bEvenIfReadOnly,
                                    bool bKeepAttributes, int32_t Compress,
                                    Core::Service::FCopyProgress* Progress) override;
    // Tree forms only (bTree must be set): every prefix along the path, or the whole tree below the path.
    bool MakeDirectory(const char16_t* Path, bool bTree) override;
    bool DeleteDirectory(const char16_t* Path, bool bRequireExists, bool bTree) override;

    // Longest absolute path the tree walk takes (its prefix buffer holds 256 units with the terminator).
    enum
    {
        MAX_TREE_PATH = 255
    };
};
} // namespace Imp
} // namespace Core
