// Names under which the card's 33 error counters are shown, one list per
// ASIC family. Entry i names entry i of GetPelraFIFOErrCounter's vector; an
// empty name marks a counter that is never shown.
#pragma once

#include <QStringList>

namespace PELRA_Global {

// Cards whose firmware drives TAMBRIL ASICs.
extern const QStringList TAMBRIL_ERRCNT_NAMES;
// Every other card (OSTERA, base mode, no valid firmware).
extern const QStringList OSTERA_ERR_NAMES;

}  // namespace PELRA_Global
