// Included first by every header of the shared widgets: a file of a layer that
// does not use it fails to build here, however it names the header.
#ifndef QUINTARRA_LAYER_WIDGETS
#error "A header of widgets/ is included by a file whose layer does not use it."
#endif
