#pragma once

#include "widgets/layer.h"

class QWidget;

// Places the window's frame in the middle of the primary screen (the whole
// display, not the area left by panels). A window too large for the area the
// panels leave is fitted to it (FitToScreen) and centred in it. A window not
// shown yet is placed again once its frame is known.
void CenterForm(QWidget *window);
