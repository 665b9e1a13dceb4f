// Included first by every header of the main window: a file of a layer that
// does not use it fails to build here, however it names the header.
#ifndef QUINTARRA_LAYER_MAINWINDOW
#error "A header of shell/app/ is included by a file whose layer does not use it."
#endif
