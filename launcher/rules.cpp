#include "rules.h"
#include "../common/strutil.h"
#include "../common/texts.h"

bool VersionAdmitted(uint32_t version) {
    uint32_t major = version & 0xFF;
    uint32_t minor = (version >> 8) & 0xFF;
    return major * 256 + minor >= 0x0333;
}

int32_t PictureSourceOrigin(int32_t pictureExtent, int32_t clientExtent) {
    return (pictureExtent - clientExtent) / 2;
}

bool BuildEnginePath(char *out, size_t cap, bool installed, const char *installDir) {
    if (!installed)
        return StrCopy(out, cap, kEnginePath);
    return StrJoin3(out, cap, installDir, kEngineSuffix, "");
}

bool BuildEngineMissingText(char *out, size_t cap, bool installed, const char *enginePath) {
    if (!installed)
        return StrCopy(out, cap, kTextEngineMissing);
    return StrJoin3(out, cap, enginePath, kTextNotThere, "");
}
