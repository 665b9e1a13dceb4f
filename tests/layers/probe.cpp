// Compiled as a file of one layer, it includes the header named by
// PROBED_HEADER (written "dir/file.h", <dir/file.h> or as a path relative to
// this file), to show whether the build lets that layer use it.
#include PROBED_HEADER
