#!/usr/bin/python3
"""Reads a converted result back with readers other than LibreOffice and
prints what it found, a fact a line: the first sheet's name, each row from
row 4 down as "row LABEL AMOUNT", each chart's kind, a PDF's page count, and
the text of a PDF or SVG.

    readback.py xlsx|ods|pdf|svg FILE
"""
import subprocess
import sys
import xml.etree.ElementTree as ElementTree


def xlsx(path):
    import openpyxl
    sheet = openpyxl.load_workbook(path).worksheets[0]
    rows = [(sheet.cell(row, 1).value, sheet.cell(row, 2).value) for row in range(4, sheet.max_row + 1)]
    return sheet.title, rows, [type(chart).__name__ for chart in sheet._charts]


def ods(path):
    from odf import chart, opendocument, table, text
    document = opendocument.load(path)
    sheet = document.spreadsheet.getElementsByType(table.Table)[0]
    rows = []
    for row in sheet.getElementsByType(table.TableRow):
        cells = []
        for cell in row.getElementsByType(table.TableCell)[:2]:
            value = cell.getAttribute("value")
            cells.append(float(value) if value else "".join(map(str, cell.getElementsByType(text.P))))
        rows += [tuple(cells + [""] * (2 - len(cells)))] * min(int(row.getAttribute("numberrowsrepeated") or 1), 4)
    kinds = [found.getAttribute("class") for child in document.childobjects
             for found in child.getElementsByType(chart.Chart)]
    return sheet.getAttribute("name"), rows[3:], kinds


def workbook(reader, path):
    name, rows, charts = reader(path)
    print("sheet", name)
    for label, amount in rows:
        if label or amount:
            print("row", label, amount if isinstance(amount, str) else "%g" % amount)
    for kind in charts:
        print("chart", kind)


def pdf(path):
    info = subprocess.run(["pdfinfo", path], capture_output=True, text=True, check=True).stdout
    print("pages", next(line.split()[1] for line in info.splitlines() if line.startswith("Pages:")))
    print(subprocess.run(["pdftotext", path, "-"], capture_output=True, text=True, check=True).stdout)


def svg(path):
    root = ElementTree.parse(path).getroot()
    print("root", root.tag)
    for element in root.iter("{http://www.w3.org/2000/svg}text"):
        print("".join(element.itertext()))


if __name__ == "__main__":
    kind, path = sys.argv[1], sys.argv[2]
    {"xlsx": lambda: workbook(xlsx, path), "ods": lambda: workbook(ods, path),
     "pdf": lambda: pdf(path), "svg": lambda: svg(path)}[kind]()
