// skip-rules-example: writes the built-in skip rules as an INI file that a player can copy to SkipRules.ini and
// change; the Windows download carries it as SkipRules.example.ini.
//   skip-rules-example > SkipRules.example.ini
#include <cstdio>

#include "shrinker/FSkipRules.h"

int main()
{
    // Only the section SkipRules is read, so the lines above it are free text (and no line there holds "=", which
    // would read as a setting).
    std::fputs("The skip rules PellmorWin and pellmor use when there is no SkipRules.ini, written out.\n"
               "\n"
               "This file itself is not read. To change the rules, copy it to SkipRules.ini in the folder of\n"
               "PellmorWin.exe and pellmor.exe, and change the lines below [SkipRules]. SkipRules.ini then\n"
               "replaces the built-in list whole: a rule left out is no longer applied, and an empty section\n"
               "means that no texture dictionary is skipped.\n"
               "\n"
               "Each line below [SkipRules] is one rule: an action, an equals sign, and a pattern for the name of\n"
               "a texture dictionary (its entry name without .txd). skip leaves the matching dictionaries as they\n"
               "are, allow makes an exception to a skip; skipc and allowc compare letters exactly, the others\n"
               "ignore case. A * at the end of the pattern matches the names that begin with it, a * at the\n"
               "start the names that end with it, one at both ends the names that contain it. A rule without a\n"
               "* wins over every rule with one; among those with a *, the last that matches wins. Write no\n"
               "blank before the equals sign. See README.txt for more.\n"
               "\n"
               "[SkipRules]\n",
               stdout);
    for (int32_t i = 0; i < FSkipRules::NumDefaultRules(); ++i)
        std::printf("skip=%s\n", FString(FSkipRules::DefaultRule(i)).ToUtf8().c_str());
    return std::ferror(stdout) ? 1 : 0;
}
