#!/usr/bin/python3
"""Prints what a saved workbook holds, one fact a line, tab-separated, for the fill tests.

  sheet    <name>
  cell     <sheet> <ref> <type n|s|b|d|f|e> <value> <number format> <fill rgb>
  rowbreak <sheet> <id>        (a manual break after row id)
  colbreak <sheet> <id>
  merge    <sheet> <range>
  name     <name> <refers-to text>
  picture  <sheet> <col0> <row0> <cx EMU> <cy EMU> <anchor> <editAs>

Cells are read with openpyxl (formulas as text); pictures straight from the package parts.
Usage: inspect_xlsx.py FILE
"""
import posixpath
import sys
import zipfile
import xml.etree.ElementTree as ET

from openpyxl import load_workbook


def esc(v):
    return str(v).replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def out(*parts):
    print("\t".join(esc(p) for p in parts))


path = sys.argv[1]
wb = load_workbook(path)
for ws in wb.worksheets:
    out("sheet", ws.title)
    for row in ws.iter_rows():
        for c in row:
            v = c.value
            fill = c.fill.fgColor.rgb if c.fill is not None and c.fill.fill_type == "solid" else ""
            if not isinstance(fill, str):
                fill = ""
            if v is None:
                if c.has_style and (c.number_format != "General" or fill):
                    out("cell", ws.title, c.coordinate, "e", "", c.number_format, fill)
                continue
            if isinstance(v, bool):
                t = "b"
            elif isinstance(v, (int, float)):
                t = "n"
                v = repr(float(v))
            elif hasattr(v, "isoformat"):
                t = "d"
                v = v.isoformat()
            elif isinstance(v, str) and c.data_type == "f":
                t = "f"
            else:
                t = "s"
            out("cell", ws.title, c.coordinate, t, v, c.number_format, fill)
    for brk in ws.row_breaks.brk:
        out("rowbreak", ws.title, brk.id)
    for brk in ws.col_breaks.brk:
        out("colbreak", ws.title, brk.id)
    for rng in ws.merged_cells.ranges:
        out("merge", ws.title, rng.coord)

try:
    names = list(wb.defined_names.definedName)      # openpyxl 3.0.x
except AttributeError:
    names = list(wb.defined_names.values())          # openpyxl >= 3.1
for dn in names:
    out("name", dn.name, dn.attr_text)

NS = {
    "m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
    "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "xdr": "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing",
    "a": "http://schemas.openxmlformats.org/drawingml/2006/main",
    "rel": "http://schemas.openxmlformats.org/package/2006/relationships",
}


def rels_of(z, part):
    folder, name = posixpath.split(part)
    rp = posixpath.join(folder, "_rels", name + ".rels")
    if rp not in z.namelist():
        return {}
    root = ET.fromstring(z.read(rp))
    result = {}
    for r in root.findall("rel:Relationship", NS):
        target = r.get("Target")
        if target.startswith("/"):
            target = target[1:]
        else:
            target = posixpath.normpath(posixpath.join(folder, target))
        result[r.get("Id")] = target
    return result


with zipfile.ZipFile(path) as z:
    wbrels = rels_of(z, "xl/workbook.xml")
    root = ET.fromstring(z.read("xl/workbook.xml"))
    for s in root.find("m:sheets", NS):
        sheet_part = wbrels[s.get("{%s}id" % NS["r"])]
        sheet = ET.fromstring(z.read(sheet_part))
        d = sheet.find("m:drawing", NS)
        if d is None:
            continue
        drawing_part = rels_of(z, sheet_part)[d.get("{%s}id" % NS["r"])]
        drawing = ET.fromstring(z.read(drawing_part))
        for anchor in drawing:
            kind = anchor.tag.split("}")[1]
            pic = anchor.find("xdr:pic", NS)
            if pic is None:
                continue
            ext = pic.find("xdr:spPr/a:xfrm/a:ext", NS)
            frm = anchor.find("xdr:from", NS)
            col = frm.find("xdr:col", NS).text if frm is not None else "-1"
            row = frm.find("xdr:row", NS).text if frm is not None else "-1"
            if ext is None and kind == "oneCellAnchor":
                ext = anchor.find("xdr:ext", NS)
            out("picture", s.get("name"), col, row, ext.get("cx") if ext is not None else "",
                ext.get("cy") if ext is not None else "", kind, anchor.get("editAs") or "")
