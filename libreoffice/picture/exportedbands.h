#pragma once

#include "libreoffice/layer.h"

// A seam for tests and benchmarks: while one lives, every band of a sheet's
// picture goes through the engine's picture export, as a band the engine
// refuses to draw directly does, so that the two ways can be compared.
class ExportedBands
{
public:
    ExportedBands();
    ~ExportedBands();
    ExportedBands(const ExportedBands &) = delete;
    ExportedBands &operator=(const ExportedBands &) = delete;

    static bool active();
};
