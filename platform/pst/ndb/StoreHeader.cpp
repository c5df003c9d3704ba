// StoreHeader.cpp: fixed header values of a new store.
#include "platform/pst/ndb/StoreHeader.h"

namespace krv::pst {

using namespace krv::pstformat;

Header BuildStoreHeader(const StoreHeaderState& state)
{
    Header h;
    h.dwMagic = kHeaderMagic;
    h.wMagicClient = kMagicClientPst;
    h.wVer = state.layout == Layout::Ansi ? kVersionAnsi : kVersionUnicode;
    h.wVerClient = 19;
    h.bPlatformCreate = 0x01;
    h.bPlatformAccess = 0x01;
    h.bidNextB = state.bidNextB;
    h.bidNextP = state.bidNextP;
    h.dwUnique = state.dwUnique;
    h.rgnid = state.rgnid;
    h.root = state.root;
    // The free maps are deprecated; Outlook fills the header's copies with 0xFF, which no
    // reader takes as a promise of free space.
    h.rgbFM.fill(0xFF);
    h.rgbFP.fill(0xFF);
    h.bSentinel = kHeaderSentinel;
    h.bCryptMethod = state.cryptMethod;
    return h;
}

} // namespace krv::pst
