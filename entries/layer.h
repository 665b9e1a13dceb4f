// Included first by every header of the list: a file of a layer that
// does not use it fails to build here, however it names the header.
#ifndef QUINTARRA_LAYER_ENTRIES
#error "A header of entries/ is included by a file whose layer does not use it."
#endif
