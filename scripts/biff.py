"""Reading and patching Excel 97-2003 workbooks (BIFF8 records inside a compound file).

Developer tooling for the chart template generator; the program itself uses chart/xlspatch.cpp.
"""

import struct

SIGNATURE = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"
END_OF_CHAIN = 0xFFFFFFFE
LAST_REGULAR_SECTOR = 0xFFFFFFFA

BOF = 0x0809
EOF = 0x000A
WINDOW2 = 0x023E
SUBSTREAM_WORKSHEET = 0x0010
WINDOW2_SHOW_GRID = 0x0002


class FormatError(Exception):
    pass


class CompoundFile:
    """The sectors, allocation tables and directory of a compound file held in memory."""

    def __init__(self, data):
        if len(data) < 512 or data[:8] != SIGNATURE:
            raise FormatError("not a compound file")
        self.data = data
        self.sector_size = 1 << self._u16(0x1E)
        self.mini_sector_size = 1 << self._u16(0x20)
        self.mini_cutoff = self._u32(0x38)
        fat_sector_count = self._u32(0x2C)
        difat = [self._u32(0x4C + 4 * i) for i in range(109)]
        next_difat = self._u32(0x44)
        seen = set()
        while next_difat < LAST_REGULAR_SECTOR and next_difat not in seen:
            seen.add(next_difat)
            offset = self.sector_offset(next_difat)
            count = self.sector_size // 4 - 1
            difat += [self._u32(offset + 4 * i) for i in range(count)]
            next_difat = self._u32(offset + 4 * count)
        fat_sectors = [s for s in difat if s < LAST_REGULAR_SECTOR][:fat_sector_count]
        self.fat = []
        for s in fat_sectors:
            offset = self.sector_offset(s)
            self.fat += struct.unpack_from("<%dI" % (self.sector_size // 4), data, offset)
        self.minifat = []
        for s in self.chain(self._u32(0x3C)):
            self.minifat += struct.unpack_from("<%dI" % (self.sector_size // 4), data,
                                               self.sector_offset(s))
        self.entries = []
        for s in self.chain(self._u32(0x30)):
            base = self.sector_offset(s)
            for i in range(self.sector_size // 128):
                e = base + 128 * i
                name_bytes = self._u16(e + 0x40)
                name = data[e:e + max(name_bytes - 2, 0)].decode("utf-16-le", "replace")
                self.entries.append({
                    "name": name,
                    "type": data[e + 0x42],
                    "start": self._u32(e + 0x74),
                    "size": self._u32(e + 0x78),
                })
        if not self.entries or self.entries[0]["type"] != 5:
            raise FormatError("compound file without a root entry")
        self.mini_stream = self.chain(self.entries[0]["start"])

    def _u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def _u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def sector_offset(self, sector):
        offset = (sector + 1) * self.sector_size
        if offset + self.sector_size > len(self.data):
            raise FormatError("sector %d lies beyond the end of the file" % sector)
        return offset

    def chain(self, start, table=None):
        table = self.fat if table is None else table
        sectors = []
        s = start
        while s != END_OF_CHAIN and s < LAST_REGULAR_SECTOR:
            if s >= len(table) or len(sectors) > len(table):
                raise FormatError("broken sector chain")
            sectors.append(s)
            s = table[s]
        return sectors

    def stream_offsets(self, name):
        """File offsets of every byte of the stream, so it can be patched in place."""
        entry = next((e for e in self.entries if e["type"] == 2 and e["name"] == name), None)
        if entry is None:
            raise FormatError("no %s stream" % name)
        size = entry["size"]
        offsets = []
        if size < self.mini_cutoff:
            for m in self.chain(entry["start"], self.minifat):
                pos = m * self.mini_sector_size
                host = self.mini_stream[pos // self.sector_size]
                start = self.sector_offset(host) + pos % self.sector_size
                offsets.extend(range(start, start + self.mini_sector_size))
        else:
            for s in self.chain(entry["start"]):
                start = self.sector_offset(s)
                offsets.extend(range(start, start + self.sector_size))
        if len(offsets) < size:
            raise FormatError("%s stream is shorter than its directory entry says" % name)
        return offsets[:size]


def records(stream):
    """(stream offset, type, body) of every record, with the BOF substream type in force."""
    pos = 0
    substreams = []
    while pos + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, pos)
        if pos + 4 + length > len(stream):
            raise FormatError("record 0x%04X runs past the end of the stream" % rtype)
        body = stream[pos + 4:pos + 4 + length]
        if rtype == BOF:
            substreams.append(struct.unpack_from("<H", body, 2)[0] if length >= 4 else 0)
        yield pos, rtype, body, (substreams[-1] if substreams else None)
        if rtype == EOF and substreams:
            substreams.pop()
        pos += 4 + length


def workbook_stream(data):
    cf = CompoundFile(data)
    offsets = cf.stream_offsets("Workbook")
    return bytes(data[o] for o in offsets), offsets


def clear_gridlines_flag(path):
    """Marks every worksheet window of the workbook at path as "gridlines not shown"."""
    data = bytearray(open(path, "rb").read())
    stream, offsets = workbook_stream(data)
    patched = 0
    for pos, rtype, body, substream in records(stream):
        if rtype == WINDOW2 and substream == SUBSTREAM_WORKSHEET and len(body) >= 2:
            data[offsets[pos + 4]] &= ~WINDOW2_SHOW_GRID & 0xFF
            patched += 1
    if patched == 0:
        raise FormatError("no worksheet window record in %s" % path)
    with open(path, "wb") as f:
        f.write(data)
    return patched


TEMPLATE = 0x0060
BOUNDSHEET = 0x0085
EXTSST = 0x00FF
INDEX = 0x020B


def mark_as_template(path):
    """Adds the TEMPLATE record to the workbook globals, which LibreOffice never writes.

    The record goes right after the globals' BOF; the absolute stream positions that follow it
    (sheet offsets, shared-string buckets, row block indexes) move by its four bytes. The
    stream has to stay within the sectors it already has.
    """
    data = bytearray(open(path, "rb").read())
    cf = CompoundFile(data)
    stream, offsets = workbook_stream(data)
    entry = next(e for e in cf.entries if e["type"] == 2 and e["name"] == "Workbook")
    if entry["size"] < cf.mini_cutoff:
        raise FormatError("small Workbook streams are not handled")
    all_records = list(records(stream))
    if any(rtype == TEMPLATE for _p, rtype, _b, _s in all_records):
        return False
    first_pos, first_type, first_body, _ = all_records[0]
    if first_type != BOF:
        raise FormatError("the Workbook stream does not start with BOF")
    insert_at = 4 + len(first_body)
    inserted = struct.pack("<HH", TEMPLATE, 0)
    shift = len(inserted)

    patched = bytearray(stream)
    for pos, rtype, body, _sub in all_records:
        at = pos + 4
        if rtype == BOUNDSHEET:
            struct.pack_into("<I", patched, at, struct.unpack_from("<I", body)[0] + shift)
        elif rtype == EXTSST:
            for i in range((len(body) - 2) // 8):
                ib = struct.unpack_from("<I", body, 2 + 8 * i)[0]
                struct.pack_into("<I", patched, at + 2 + 8 * i, ib + shift)
        elif rtype == INDEX:
            # The position of DEFCOLWIDTH, then those of the DBCELL records.
            for i in range((len(body) - 12) // 4):
                ib = struct.unpack_from("<I", body, 12 + 4 * i)[0]
                if ib:
                    struct.pack_into("<I", patched, at + 12 + 4 * i, ib + shift)
    new_stream = bytes(patched[:insert_at]) + inserted + bytes(patched[insert_at:])

    capacity = len(cf.chain(entry["start"])) * cf.sector_size
    if len(new_stream) > capacity:
        raise FormatError("no room for the TEMPLATE record in the Workbook stream's sectors")
    sectors = cf.chain(entry["start"])
    for i, byte in enumerate(new_stream):
        data[cf.sector_offset(sectors[i // cf.sector_size]) + i % cf.sector_size] = byte
    directory_entry = directory_entry_offset(cf, "Workbook")
    struct.pack_into("<I", data, directory_entry + 0x78, len(new_stream))
    with open(path, "wb") as f:
        f.write(data)
    return True


def directory_entry_offset(cf, name):
    index = next(i for i, e in enumerate(cf.entries) if e["type"] == 2 and e["name"] == name)
    per_sector = cf.sector_size // 128
    sector = cf.chain(cf._u32(0x30))[index // per_sector]
    return cf.sector_offset(sector) + 128 * (index % per_sector)
