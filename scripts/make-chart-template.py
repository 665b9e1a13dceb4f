#!/usr/bin/python3
"""Builds resources/Pie Chart.xlt, the workbook the chart command fills, with LibreOffice itself.

Needs Debian's python3-uno (run it with /usr/bin/python3). Starts a private headless
soffice.bin on its own profile and pipe, builds the sheet and the 3-D pie through UNO, saves
the Excel 97 template and marks its sheet window as "gridlines not shown" (LibreOffice always
writes "shown" from a hidden document). The test suite does not run this; it checks the
committed file.

    /usr/bin/python3 scripts/make-chart-template.py [--output FILE] [--picture PNG] [--describe]
"""

import argparse
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException
from com.sun.star.table import CellRangeAddress

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import biff  # noqa: E402

OFFICE_PROGRAM = "/usr/lib/libreoffice/program"
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

ACCOUNTING = '_($* #,##0_);_($* (#,##0);_($* "-"??_);_(@_)'
SAMPLE_ROWS = [("Savings", 25000), ("401k", 55000), ("Stocks", 15000),
               ("House", 250000), ("Bonds", 11000), ("Car", 7500)]
SLICE_COLOURS = [0x92A081, 0xD7913E, 0xCDA623, 0xB88193, 0x8A75AA, 0x718BAC]
SERIES_COLOUR = 0xA5B592
FONT = "Constantia"
# Widths in units of 1/256 of the width of "0" in the standard font, as the file stores them.
COLUMN_A_UNITS = 3904   # 15.25 characters
COLUMN_B_UNITS = 2656   # 10.375 characters
ROW_HEIGHT_TWIPS = 300  # 15 pt
CHART_WIDTH_PT = 648.75
CHART_HEIGHT_PT = 348.75
# Other columns: the default 8 characters, which with an 11 pt Constantia digit of 8 px
# come to 8 * 8 + 5 px, rounded up to 72 px = 54 pt.
DEFAULT_COLUMN_PT = 54.0

HMM_PER_PT = 2540.0 / 72.0
HMM_PER_TWIP = 2540.0 / 1440.0

BOLD = 150.0
NORMAL = 100.0


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def office_version():
    with open("/usr/lib/libreoffice/share/registry/main.xcd", encoding="utf-8") as f:
        text = f.read()
    m = re.search(r'ooSetupVersion">\s*<value>([^<]+)</value>', text)
    return m.group(1) if m else ""


def seed_profile(profile):
    """A profile that skips the first-start work and draws Constantia with Caladea's metrics."""
    user = os.path.join(profile, "user")
    os.makedirs(user, exist_ok=True)
    items = [
        '<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" '
        'oor:op="fuse"><value>%s</value></prop></item>' % office_version(),
        '<item oor:path="/org.openoffice.Office.Common/Font/Substitution"><prop '
        'oor:name="Replacement" oor:op="fuse"><value>true</value></prop></item>',
        '<item oor:path="/org.openoffice.Office.Common/Font/Substitution/FontPairs">'
        '<node oor:name="_0" oor:op="replace">'
        '<prop oor:name="Always" oor:op="fuse"><value>true</value></prop>'
        '<prop oor:name="OnScreenOnly" oor:op="fuse"><value>false</value></prop>'
        '<prop oor:name="ReplaceFont" oor:op="fuse"><value>Constantia</value></prop>'
        '<prop oor:name="SubstituteFont" oor:op="fuse"><value>Caladea</value></prop>'
        '</node></item>',
    ]
    with open(os.path.join(user, "registrymodifications.xcu"), "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<oor:items xmlns:oor="http://openoffice.org/2001/registry" '
                'xmlns:xs="http://www.w3.org/2001/XMLSchema" '
                'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">\n'
                + "\n".join(items) + "\n</oor:items>\n")


class Office:
    """One private headless LibreOffice, ended by its own process id."""

    def __init__(self):
        self.workdir = tempfile.mkdtemp(prefix="quintarra-template-")
        self.profile = os.path.join(self.workdir, "profile")
        seed_profile(self.profile)
        self.pipe = "quintarra_template_%d_%d" % (os.getpid(), int(time.time() * 1000))
        self.process = None
        self.context = None

    def start(self):
        args = [os.path.join(OFFICE_PROGRAM, "soffice.bin"), "--headless", "--invisible",
                "--norestore", "--nologo", "--nodefault", "--nolockcheck",
                "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe,
                "-env:UserInstallation=" + uno.systemPathToFileUrl(self.profile)]
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        # Number formats are parsed in the office's own locale: keep it en-US whatever the
        # developer's is, so the file's format codes carry no language tag.
        env = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")
        url = "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe
        for _attempt in range(3):
            self.process = subprocess.Popen(args, stdout=subprocess.DEVNULL,
                                            stderr=subprocess.DEVNULL, env=env)
            deadline = time.time() + 60
            while time.time() < deadline:
                if self.process.poll() is not None:
                    break  # 81: a fresh profile wants one restart
                try:
                    self.context = resolver.resolve(url)
                    return
                except NoConnectException:
                    time.sleep(0.1)
            if self.process.poll() is None:
                self.stop()
                raise RuntimeError("LibreOffice did not accept connections")
        raise RuntimeError("LibreOffice kept exiting (code %s)" % self.process.returncode)

    def desktop(self):
        return self.context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", self.context)

    def stop(self):
        if self.process and self.process.poll() is None:
            try:
                self.desktop().terminate()
            except Exception:
                pass  # the bridge goes away while terminate() answers
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.kill(self.process.pid, signal.SIGKILL)
                self.process.wait()
        shutil.rmtree(self.workdir, ignore_errors=True)


def accounting_key(doc):
    formats = doc.getNumberFormats()
    locale = uno.createUnoStruct("com.sun.star.lang.Locale")
    key = formats.queryKey(ACCOUNTING, locale, False)
    if key == -1:
        key = formats.addNew(ACCOUNTING, locale)
    return key


def set_font(props, size, weight=NORMAL):
    props.CharFontName = FONT
    props.CharHeight = size
    props.CharWeight = weight
    props.CharColor = 0x000000


def build_sheet(doc, column_hmm):
    locale = uno.createUnoStruct("com.sun.star.lang.Locale")
    locale.Language, locale.Country = "en", "US"
    doc.CharLocale = locale
    default_style = doc.getStyleFamilies().getByName("CellStyles").getByName("Default")
    set_font(default_style, 11.0)

    # No printed header or footer, as in a new Excel workbook. LibreOffice's default ones
    # would also come back from the file with a stray colour code in their text.
    page_style = doc.getStyleFamilies().getByName("PageStyles").getByName("Default")
    page_style.HeaderIsOn = False
    page_style.FooterIsOn = False

    sheets = doc.getSheets()
    sheet = sheets.getByIndex(0)
    sheet.setName("Assets")
    while sheets.getCount() > 1:
        sheets.removeByName(sheets.getByIndex(1).getName())

    key = accounting_key(doc)
    sheet.getCellByPosition(0, 2).setString("Asset Type")
    sheet.getCellByPosition(1, 2).setString("Amount")
    sheet.getCellRangeByName("A3:B3").CharWeight = BOLD
    for i, (label, amount) in enumerate(SAMPLE_ROWS):
        sheet.getCellByPosition(0, 3 + i).setString(label)
        sheet.getCellByPosition(1, 3 + i).setValue(amount)
    for name in ("B4:B9", "B17", "B19"):
        sheet.getCellRangeByName(name).NumberFormat = key

    rows = sheet.getRows()
    rows.OptimalHeight = False
    rows.Height = round(ROW_HEIGHT_TWIPS * HMM_PER_TWIP)
    columns = sheet.getColumns()
    columns.Width = column_hmm["default"]
    columns.getByIndex(0).Width = column_hmm["A"]
    columns.getByIndex(1).Width = column_hmm["B"]
    return sheet


def column_left(sheet, index):
    columns = sheet.getColumns()
    return sum(columns.getByIndex(i).Width for i in range(index))


def add_chart(doc, sheet):
    columns = sheet.getColumns()
    row_height = sheet.getRows().getByIndex(0).Height
    # Top left: half way into C, 13/256 of the row down into row 3.
    x = column_left(sheet, 2) + columns.getByIndex(2).Width // 2
    y = 2 * row_height + round(row_height * 13 / 256)
    rect = uno.createUnoStruct("com.sun.star.awt.Rectangle")
    rect.X, rect.Y = x, y
    rect.Width = round(CHART_WIDTH_PT * HMM_PER_PT)
    rect.Height = round(CHART_HEIGHT_PT * HMM_PER_PT)
    source = CellRangeAddress()
    source.Sheet, source.StartColumn, source.StartRow, source.EndColumn, source.EndRow = 0, 0, 2, 1, 8
    charts = sheet.getCharts()
    charts.addNewByName("Chart 1", rect, (source,), True, True)
    chart = charts.getByName("Chart 1").getEmbeddedObject()
    chart.lockControllers()

    chart.setDiagram(chart.createInstance("com.sun.star.chart.PieDiagram"))
    chart.getDiagram().Dim3D = True
    chart.HasLegend = False
    chart.HasMainTitle = True
    title = chart.getTitle()
    title.String = "My Assets"
    set_font(title, 18.0, BOLD)

    area = chart.getPageBackground()
    area.FillStyle = uno.Enum("com.sun.star.drawing.FillStyle", "SOLID")
    area.FillColor = 0xFFFFFF
    area.LineStyle = uno.Enum("com.sun.star.drawing.LineStyle", "SOLID")
    area.LineWidth = round(1.0 * HMM_PER_PT)
    area.LineColor = 0xA3A3A3  # black at 36 % over white; BIFF8 lines have no transparency

    diagram = chart.getFirstDiagram()
    diagram.RotationHorizontal = -60   # the file's elevation is 90 degrees more: 30
    diagram.RotationVertical = 0
    diagram.StartingAngle = 240        # first slice at 210 degrees clockwise from 12 o'clock
    diagram.RightAngledAxes = False
    diagram.Perspective = 0
    diagram.D3DScenePerspective = uno.Enum("com.sun.star.drawing.ProjectionMode", "PARALLEL")
    diagram.MissingValueTreatment = 0  # leave a gap
    diagram.IncludeHiddenCells = False
    wall = diagram.getWall()
    wall.FillStyle = uno.Enum("com.sun.star.drawing.FillStyle", "NONE")
    wall.LineStyle = uno.Enum("com.sun.star.drawing.LineStyle", "NONE")

    series = diagram.getCoordinateSystems()[0].getChartTypes()[0].getDataSeries()[0]
    label = uno.createUnoStruct("com.sun.star.chart2.DataPointLabel")
    label.ShowNumber, label.ShowNumberInPercent, label.ShowCategoryName = False, True, True
    inside = uno.getConstantByName("com.sun.star.chart.DataLabelPlacement.INSIDE")

    def style_point(point, colour):
        point.FillStyle = uno.Enum("com.sun.star.drawing.FillStyle", "SOLID")
        point.FillColor = colour
        point.BorderStyle = uno.Enum("com.sun.star.drawing.LineStyle", "SOLID")
        point.BorderWidth = round(1.5 * HMM_PER_PT)
        point.BorderColor = 0xFFFFFF
        point.Offset = 0.1
        point.Label = label
        point.LabelPlacement = inside
        point.LinkNumberFormatToSource = True
        set_font(point, 13.0, BOLD)

    style_point(series, SERIES_COLOUR)
    series.ShowCustomLeaderLines = True
    for i, colour in enumerate(SLICE_COLOURS):
        style_point(series.getDataPointByIndex(i), colour)

    chart.unlockControllers()
    return chart


def set_view(doc):
    controller = doc.getCurrentController()
    if controller is None:
        return
    controller.ShowGrid = False
    controller.HasColumnRowHeaders = True
    controller.ZoomType = 3  # by value
    controller.ZoomValue = 100
    controller.setActiveSheet(doc.getSheets().getByIndex(0))


def store(doc, path, template):
    filter_name = "MS Excel 97 Vorlage/Template" if template else "MS Excel 97"
    doc.storeToURL(uno.systemPathToFileUrl(path), (prop("FilterName", filter_name),))


def read_records(path):
    with open(path, "rb") as f:
        stream, _ = biff.workbook_stream(f.read())
    return list(biff.records(stream))


def exported_column_units(doc, path):
    """The COLINFO widths of columns A and B as LibreOffice writes them to a file."""
    store(doc, path, False)
    units = {}
    for _pos, rtype, body, substream in read_records(path):
        if rtype == 0x007D and substream == biff.SUBSTREAM_WORKSHEET:
            first, last, width = struct.unpack_from("<HHH", body)
            for col in range(first, min(last, 1) + 1):
                units["AB"[col]] = width
    return units


def calibrate_columns(doc, sheet, workdir):
    """Finds the widths in 1/100 mm that the file stores as COLUMN_A_UNITS and COLUMN_B_UNITS.

    The file measures widths in the width of "0" in the standard font, as LibreOffice's own
    exporter measures it; a probe export tells that width exactly.
    """
    probe = os.path.join(workdir, "probe.xls")
    columns = sheet.getColumns()
    probe_hmm = 20000
    columns.getByIndex(0).Width = probe_hmm
    units = exported_column_units(doc, probe)["A"]
    digit_hmm = probe_hmm * 256.0 / units
    targets = {"A": COLUMN_A_UNITS, "B": COLUMN_B_UNITS}
    estimate = {c: round(t * digit_hmm / 256) for c, t in targets.items()}
    # Widths are kept in whole twips, so not every unit count can be reached: take the nearest.
    best = {c: (None, None) for c in targets}
    for step in range(-3, 4):
        trial = {c: estimate[c] + step for c in targets}
        columns.getByIndex(0).Width = trial["A"]
        columns.getByIndex(1).Width = trial["B"]
        got = exported_column_units(doc, probe)
        for c in targets:
            miss = abs(got[c] - targets[c])
            if best[c][0] is None or miss < best[c][0]:
                best[c] = (miss, trial[c], got[c])
    widths = {c: best[c][1] for c in targets}
    columns.getByIndex(0).Width = widths["A"]
    columns.getByIndex(1).Width = widths["B"]
    print("column units: A %d, B %d" % (best["A"][2], best["B"][2]))
    return widths, digit_hmm


def describe(path):
    """The records that carry what the template promises, for a human to compare."""
    names = {0x023E: "WINDOW2", 0x00A0: "SCL", 0x007D: "COLINFO", 0x0055: "DEFCOLWIDTH",
             0x0225: "DEFAULTROWHEIGHT", 0x0200: "DIMENSIONS", 0x103A: "CHCHART3D",
             0x1019: "CHPIE", 0x1044: "CHPROPERTIES", 0x0060: "TEMPLATE", 0x0099: "STANDARDWIDTH",
             0x1002: "CHCHART", 0x0085: "BOUNDSHEET"}
    for pos, rtype, body, substream in read_records(path):
        if rtype == 0x041E and body[4] == 0:
            print("  FORMAT %d: %s" % (struct.unpack_from("<H", body)[0], body[5:].decode("latin-1")))
        if rtype in names:
            print("  %-16s sub=0x%04X %s" % (names[rtype], substream or 0, body[:24].hex(" ")))
        if rtype == 0x00EC:
            at = body.find(b"\x10\xf0\x12\x00\x00\x00")
            if at >= 2:
                anchor = struct.unpack_from("<H8H", body, at + 6)
                print("  client anchor    flags %d, from col %d +%d/1024 row %d +%d/256, "
                      "to col %d +%d/1024 row %d +%d/256" % anchor)


def check(results, what, got, expected):
    ok = got == expected
    results.append(ok)
    print("  %-4s %-34s %r" % ("ok" if ok else "FAIL", what, got if ok else (got, expected)))


def verify_records(path):
    """What a hidden LibreOffice does not show through its view: the file's own records."""
    results = []
    window = [body for _p, rtype, body, sub in read_records(path)
              if rtype == biff.WINDOW2 and sub == biff.SUBSTREAM_WORKSHEET]
    check(results, "worksheet windows", len(window), 1)
    options, scale = struct.unpack_from("<H", window[0])[0], struct.unpack_from("<H", window[0], 12)[0]
    check(results, "gridlines, headers shown", (bool(options & 0x0002), bool(options & 0x0004)),
          (False, True))
    check(results, "zoom", scale in (0, 100), True)
    found = {"positions": True}
    all_records = read_records(path)
    starts = {pos: rtype for pos, rtype, _b, _s in all_records}
    for _p, rtype, body, sub in all_records:
        if rtype == biff.TEMPLATE and sub == 0x0005:
            found["template"] = True
        elif rtype in (0x0012, 0x0013, 0x0019, 0x0063, 0x00DD, 0x01AF, 0x01BC):
            found.setdefault("protection", set()).add(struct.unpack_from("<H", body)[0])
        elif rtype == biff.BOUNDSHEET:
            found["positions"] &= starts.get(struct.unpack_from("<I", body)[0]) == biff.BOF
        elif rtype == biff.EXTSST:
            buckets = [struct.unpack_from("<IH", body, 2 + 8 * i) for i in range((len(body) - 2) // 8)]
            found["positions"] &= all(starts.get(ib - offset) in (0x00FC, 0x003C)
                                      for ib, offset in buckets)
        elif rtype == biff.INDEX:
            pointers = struct.unpack_from("<%dI" % ((len(body) - 12) // 4), body, 12)
            found["positions"] &= starts.get(pointers[0]) == 0x0055 and \
                all(starts.get(p) == 0x00D7 for p in pointers[1:])
        elif rtype == 0x0200 and sub == biff.SUBSTREAM_WORKSHEET:
            found["dimensions"] = struct.unpack_from("<IIHH", body)
        elif rtype == 0x007D and sub == biff.SUBSTREAM_WORKSHEET:
            first, _last, width = struct.unpack_from("<HHH", body)
            found.setdefault("columns", []).append(width)
        elif rtype == 0x0225:
            found["row height"] = struct.unpack_from("<H", body, 2)[0]
        elif rtype == 0x103A:
            found["rotation, elevation, perspective"] = struct.unpack_from("<HhH", body)[:2] + \
                (struct.unpack_from("<H", body, 12)[0] & 1,)
        elif rtype == 0x1019:
            found["first slice"] = struct.unpack_from("<H", body)[0]
        elif rtype == 0x1044:
            flags, blanks = struct.unpack_from("<HB", body)
            found["visible cells only, blanks"] = (bool(flags & 2), blanks)
    check(results, "used range A3:B19", found.get("dimensions"), (2, 19, 0, 2))
    check(results, "marked as a template", found.get("template"), True)
    check(results, "protection, password", found.get("protection"), {0})
    check(results, "sheet and row block positions", found.get("positions"), True)
    # Widths are whole twips inside LibreOffice, so the nearest reachable count may be one off.
    columns = found.get("columns", [])[:2]
    print("  columns A, B in 1/256 of a digit: %s" % columns)
    check(results, "columns A, B within 1/256", [abs(c - t) <= 1 for c, t in
                                                 zip(columns, (COLUMN_A_UNITS, COLUMN_B_UNITS))],
          [True, True])
    check(results, "default row height (twips)", found.get("row height"), ROW_HEIGHT_TWIPS)
    check(results, "rotation, elevation, perspective",
          found.get("rotation, elevation, perspective"), (210, 30, 0))
    check(results, "first slice angle", found.get("first slice"), 210)
    check(results, "visible cells only, blanks", found.get("visible cells only, blanks"), (True, 0))
    return all(results)


def verify(desktop, path, picture):
    """Opens the written template as the program will and reads back what it promises."""
    doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(path), "_blank", 0,
                                       (prop("Hidden", True), prop("MacroExecutionMode", 0),
                                        prop("UpdateDocMode", 0)))
    results = []
    try:
        controller = doc.getCurrentController()
        sheet = controller.getActiveSheet()
        if picture:
            area = sheet.getCellRangeByName("A1:P28")
            controller.select(area)
            doc.storeToURL(uno.systemPathToFileUrl(picture),
                           (prop("FilterName", "calc_png_Export"), prop("SelectionOnly", True)))
            print("  picture of A1:P28: %s" % picture)
        check(results, "opens as an untitled copy", doc.hasLocation(), False)
        check(results, "sheets", doc.getSheets().getElementNames(), ("Assets",))
        page_style = doc.getStyleFamilies().getByName("PageStyles").getByName(sheet.PageStyle)
        check(results, "printed header, footer", (page_style.HeaderIsOn, page_style.FooterIsOn),
              (False, False))
        check(results, "active sheet", sheet.getName(), "Assets")
        check(results, "A3:B3", [sheet.getCellByPosition(c, 2).getString() for c in (0, 1)],
              ["Asset Type", "Amount"])
        check(results, "A3:B3 bold", sheet.getCellRangeByName("A3:B3").CharWeight, BOLD)
        check(results, "A4:A9", [sheet.getCellByPosition(0, r).getString() for r in range(3, 9)],
              [label for label, _ in SAMPLE_ROWS])
        check(results, "B4:B9", [sheet.getCellByPosition(1, r).getValue() for r in range(3, 9)],
              [float(amount) for _, amount in SAMPLE_ROWS])
        cursor = sheet.createCursor()
        cursor.gotoStartOfUsedArea(False)
        cursor.gotoEndOfUsedArea(True)
        # LibreOffice's used area leaves out cells that only hold a format (B17, B19).
        check(results, "used area with content", cursor.getPropertyValue("AbsoluteName"),
              "$Assets.$A$3:$B$9")
        check(results, "B4, B9, B17, B19 share a format",
              len({sheet.getCellRangeByName(n).NumberFormat for n in ("B4", "B9", "B17", "B19")}), 1)
        sheet.getCellRangeByName("B17").setValue(-1500)
        sheet.getCellRangeByName("B19").setValue(0)
        check(results, "B7, B9, B17, B19 shown as",
              [sheet.getCellRangeByName(n).getString() for n in ("B7", "B9", "B17", "B19")],
              [" $250,000 ", " $7,500 ", " $(1,500)", " $-   "])
        cell = sheet.getCellRangeByName("A4:B19")
        check(results, "font", (cell.CharFontName, cell.CharHeight, cell.CharColor),
              (FONT, 11.0, 0))
        rows = sheet.getRows()
        check(results, "row 3/40 height (twips)",
              [round(rows.getByIndex(r).Height / HMM_PER_TWIP) for r in (2, 39)],
              [ROW_HEIGHT_TWIPS, ROW_HEIGHT_TWIPS])
        print("  column widths (1/100 mm): %s" % [sheet.getColumns().getByIndex(c).Width
                                                  for c in range(4)])

        charts = sheet.getCharts()
        check(results, "charts", charts.getCount(), 1)
        table_chart = charts.getByIndex(0)
        check(results, "chart ranges", [(r.StartColumn, r.StartRow, r.EndColumn, r.EndRow)
                                         for r in table_chart.getRanges()], [(0, 2, 1, 8)])
        chart = table_chart.getEmbeddedObject()
        check(results, "diagram", chart.getDiagram().getDiagramType(), "com.sun.star.chart.PieDiagram")
        check(results, "3-D", chart.getDiagram().Dim3D, True)
        check(results, "legend", chart.HasLegend, False)
        check(results, "title", (chart.HasMainTitle, chart.getTitle().String,
                                 chart.getTitle().CharFontName, chart.getTitle().CharHeight,
                                 chart.getTitle().CharWeight), (True, "My Assets", FONT, 18.0, BOLD))
        diagram = chart.getFirstDiagram()
        check(results, "rotation, elevation, start",
              (diagram.RotationVertical, diagram.RotationHorizontal, diagram.StartingAngle),
              (0, -60, 240))
        check(results, "wall fill", diagram.getWall().FillStyle.value, "NONE")
        check(results, "empty cells", diagram.MissingValueTreatment, 0)
        check(results, "hidden cells plotted", diagram.IncludeHiddenCells, False)
        series = diagram.getCoordinateSystems()[0].getChartTypes()[0].getDataSeries()
        check(results, "series", len(series), 1)
        sequences = series[0].getDataSequences()[0]
        check(results, "values", sequences.getValues().getSourceRangeRepresentation(),
              "$Assets.$B$4:$B$9")
        check(results, "series name", sequences.getLabel().getSourceRangeRepresentation(),
              "$Assets.$B$3")
        categories = diagram.getCoordinateSystems()[0].getAxisByDimension(0, 0) \
            .getScaleData().Categories.getValues().getSourceRangeRepresentation()
        check(results, "categories", categories, "$Assets.$A$4:$A$9")
        points = [series[0].getDataPointByIndex(i) for i in range(6)]
        check(results, "slice colours", [p.FillColor for p in points], SLICE_COLOURS)
        check(results, "explosion", [round(p.Offset, 2) for p in points], [0.1] * 6)
        check(results, "labels", [(p.Label.ShowCategoryName, p.Label.ShowNumberInPercent,
                                   p.Label.ShowNumber) for p in points], [(True, True, False)] * 6)
        check(results, "label font", {(p.CharFontName, p.CharHeight, p.CharWeight) for p in points},
              {(FONT, 13.0, BOLD)})
        check(results, "label placement", {p.LabelPlacement for p in points},
              {uno.getConstantByName("com.sun.star.chart.DataLabelPlacement.INSIDE")})
        # What the chart command does with it: save the (filled) copy as a workbook.
        saved = os.path.join(os.path.dirname(path), "saved.xls")
        store(doc, saved, False)
    finally:
        doc.close(True)
    doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(saved), "_blank", 0,
                                       (prop("Hidden", True),))
    try:
        charts = doc.getSheets().getByName("Assets").getCharts()
        check(results, "saved workbook's chart ranges",
              [(r.StartColumn, r.StartRow, r.EndColumn, r.EndRow)
               for r in charts.getByIndex(0).getRanges()], [(0, 2, 1, 8)])
        check(results, "saved workbook's chart kind",
              charts.getByIndex(0).getEmbeddedObject().getDiagram().Dim3D, True)
    finally:
        doc.close(True)
    return all(results)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=os.path.join(REPO, "resources", "Pie Chart.xlt"))
    parser.add_argument("--describe", action="store_true", help="print the key records")
    parser.add_argument("--picture", help="also write a PNG picture of A1:P28 here")
    args = parser.parse_args()

    office = Office()
    try:
        office.start()
        desktop = office.desktop()
        doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                           (prop("Hidden", True),))
        sheet = build_sheet(doc, {"default": round(DEFAULT_COLUMN_PT * HMM_PER_PT),
                                  "A": 3000, "B": 2000})
        widths, digit_hmm = calibrate_columns(doc, sheet, office.workdir)
        print("width of \"0\": %.1f/100 mm; column A %d, column B %d (1/100 mm)"
              % (digit_hmm, widths["A"], widths["B"]))
        add_chart(doc, sheet)
        set_view(doc)
        doc.setModified(False)

        written = os.path.join(office.workdir, "Pie Chart.xlt")
        store(doc, written, True)
        doc.close(True)
        patched = biff.clear_gridlines_flag(written)
        print("gridlines flag cleared in %d sheet window(s)" % patched)
        biff.mark_as_template(written)
        if args.describe:
            describe(written)
        records_ok = verify_records(written)
        engine_ok = verify(desktop, written, args.picture)
        if not (records_ok and engine_ok):
            sys.exit("the written template does not read back as built")
        shutil.copyfile(written, args.output)
        print("%s: %d bytes" % (args.output, os.path.getsize(args.output)))
    finally:
        office.stop()


if __name__ == "__main__":
    main()
