// Included first by every header of the main window: a file of a layer that
// does not use it fails to build here, however it names the header.
#ifndef QUINTARRA_LAYER_APP
#error "A header of app/ is included by a file whose layer does not use it."
#endif
