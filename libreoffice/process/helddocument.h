#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/unocall.h"

#include <com/sun/star/lang/XComponent.hpp>

#include <QByteArray>

// A document an instance opened ahead of need (a warm spare, the chart
// template) and left untouched since: the instance's first open() of a file
// with the same bytes takes it instead of loading the file again.
struct HeldDocument {
    QByteArray sourceBytes;
    Reference<css::lang::XComponent> document;
};
