// Included first by every header of the LibreOffice adapter: a file of a layer that
// does not use it fails to build here, however it names the header.
#ifndef QUINTARRA_LAYER_LIBREOFFICE
#error "A header of libreoffice/ is included by a file whose layer does not use it."
#endif
