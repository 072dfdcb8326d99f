// The re-encoding policy.
#include "shrinker/FReencodePolicy.h"

bool ReencodeImage(FTxdEntryContext& /*Context*/, FTxdImage& /*Image*/)
{
    // Every texture stays as it is for now: the kinds, statistics and resampling come with the texture work.
    return false;
}
