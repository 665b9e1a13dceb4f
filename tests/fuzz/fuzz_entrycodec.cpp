// The stored form of the list under a coverage-guided fuzzer: whatever text the
// settings hold, decoding never fails, and a list decoded, stored again and
// decoded once more is the same list.

#include "entries/entrycodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString stored = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const EntryList decoded = DecodeEntryList(stored);
    const QString again = EncodeEntryList(decoded);
    if (DecodeEntryList(again) != decoded) {
        std::fprintf(stderr, "The list changed when stored again:\n%s\n", qPrintable(again));
        std::abort();
    }
    return 0;
}
