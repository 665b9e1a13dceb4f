// Included first by every header of the spreadsheet interface: a file of a layer that
// does not use it fails to build here, however it names the header.
#ifndef QUINTARRA_LAYER_SPREADSHEET
#error "A header of spreadsheet/ is included by a file whose layer does not use it."
#endif
