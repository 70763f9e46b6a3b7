// The table of link kinds, indexed by the settings' InterfaceKind, and the
// steps the kinds share.
#include "link/link_kind.h"

#include "core/settings.h"

namespace {

constexpr const LinkKind* KINDS[] = {&SERIAL_LINK, &CRADLE_LINK, &TELEPHONY_LINK, &MODEM_COM_LINK};
static_assert(RS232_IRDA == 0 && CRADLE_IR == 1 && MODEM_TAPI == 2 && MODEM_COM == 3,
              "KINDS is in InterfaceKind order");

}  // namespace

const LinkKind& LinkKindOf(uint8_t interfaceKind)
{
    return interfaceKind < sizeof KINDS / sizeof KINDS[0] ? *KINDS[interfaceKind] : SERIAL_LINK;
}

int NothingToPrepare()
{
    return 1;
}

int NoConnectionNews()
{
    return LINK_NO_NEWS;
}

int NothingToTake()
{
    return 1;
}

int NoConnectionLoss(const char*, unsigned)
{
    return -1;
}

bool NoConnectionEnds(WPARAM)
{
    return false;
}

void NothingToClose() {}
