#include "libreoffice/picture/exportedbands.h"

#include <atomic>

namespace {
// Pictures may be drawn on another thread than the one that set this.
std::atomic<int> sLiving{0};
} // namespace

ExportedBands::ExportedBands()
{
    ++sLiving;
}

ExportedBands::~ExportedBands()
{
    --sLiving;
}

bool ExportedBands::active()
{
    return sLiving > 0;
}
