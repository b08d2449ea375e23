#!/usr/bin/python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<kind>/). Seeds of targets whose
input starts with structured bytes (edit kind, offsets, user names) get those bytes here."""
import os
import struct

ROOT = os.path.dirname(os.path.abspath(__file__))


def write(kind, name, data):
    folder = os.path.join(ROOT, "corpus", kind)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def definition_files():
    with open(os.path.join(ROOT, "..", "examples", "sales", "sales.def"), "rb") as f:
        write("definition_file", "sales", f.read())
    with open(os.path.join(ROOT, "..", "data", "fmtconv.cfg"), "rb") as f:
        write("definition_file", "fmtconv", f.read())
    write("definition_file", "header_only", "Foliowright\n")
    write("definition_file", "crlf_bom_encrypted",
          "\ufeffFoliowright Version 2.0\r\n[Data Source]\r\nEncryptPassword=Y\r\nName1=db\r\n"
          "User1=reporter\r\nPassword1=rdncx2Yj\r\n[File]\r\nProtectReport=y\r\n"
          "ProtectionPassword = \"secret\"\r\nReportFileName='out.xlsx'\r\n[SQL]\r\n@1=EXECSQL(CONNECT=db)\r\n")
    write("definition_file", "gaps_and_repeats",
          "  Foliowright\n[file]\nLogFileName=a.log\n[PARAMETER]\nName1=%A%\nName2=%B%\nName4=%D%\n"
          "Default1=1\n[File]\nLogFileName=b.log\n[Data Source]\nName1=x\nConnectionString1= Driver=SQLite3 \n"
          "User1=ignored\nName2=y\n[Parameter]\nTitle1=T\n")


def scripts():
    write("script", "statement", b"\x02\x03%Y%\x042009\x03%R%\x05North"
          b"@1=REPORT(CONNECT=SalesDB SHEET=Sheet1 TYPE=VAR CELL=A4,B4,C4) /* c */ "
          b"SELECT a FROM t WHERE y = %Y% AND r = '%R%' AND s = \"x \"\"q\"\" y\"")
    write("script", "comment_unclosed", b"\x00@2=NAME(CONNECT=db NAME=Total) /* open")
    with open(os.path.join(ROOT, "..", "examples", "sales", "sales.def"), "rb") as f:
        write("script", "sales", b"\x00" + f.read().split(b"[SQL]\n", 1)[1])
    write("script", "grouped",
          b"\x00@g=REPORT(CONNECT=1 SHEET='S 1' TYPE=FIX FILLORDER=colrange CELL=A1,,B1 "
          b"RANGE=A1:C3 RESERVE=2 GROUP=a,b GROUPRANGE=A1:C1 GROUP=c IMAGE=1,2 PAGEBREAK=2g1 NODATA=DELSHEET)\n"
          b"SELECT 1\n  /* spans\nlines */ FROM t\n@x = EXECSQL ( CONNECT = other ) DELETE FROM t\n"
          b"@y=NAME(NAME=a,b CONNECT=nothere)\n@z=BOGUS()\n@w=REPORT(COPYRANGE=A1 GROUPRANGE=A1)\n")
    write("script", "operators", b"\x01\x01a\x02bb a<>b <= >= == ( ) , 'it''s' \"\" /**/ x")


def cell_lists():
    for name, level, fields, range_text, text in [
        ("cells", 0, 3, "A1:D9", "A1,B2,C3"),
        ("quoted_empty", 1, 5, "", "'A1', ,,D4 \"E5\""),
        ("whole_rows_columns", 0, 2, "$F:$H", "$F$4,G:G"),
        ("sheet_qualified", 1, 2, "'Sheet1'!A1:XFD1048576", "Sheet1!B2,'Sheet1'!$C$3"),
        ("edge_of_sheet", 0, 4, "", "XFC1048576,XFD1"),
        ("page_break", 3, 0, "", "10R,2G1"),
        ("group_break", 10, 0, "", "G,3g2,40"),
        ("image_options", 0, 0, "", "MAS W100 H50.5 STRETCH nms w-3 H1e39"),
        ("image_list", 0, 0, "", "1,2, 3"),
    ]:
        write("cell_lists", name, bytes([level, fields, len(range_text)]) + range_text.encode() + text.encode())


def formula(kind, first, count, sheet, on_sheet, row_offset, column_offset, text, band=None):
    data = bytes([kind, first - 1, count - 1])
    if band:
        data += bytes([band[0] - 1, band[1] - band[0]])
    data += bytes([len(sheet)]) + sheet.encode() + bytes([1 if on_sheet else 0])
    # IntInRange(-1048576, 1048576) reads three bytes, (-16384, 16384) two; the flag after each
    # keeps the offset whole.
    data += (row_offset + 1048576).to_bytes(3, "big") + b"\x01"
    data += (column_offset + 16384).to_bytes(2, "big") + b"\x01"
    return data + text.encode()


def formula_references():
    seeds = {
        "sum_insert_rows": formula(0, 3, 2, "Sheet1", True, 1, 0, "SUM(A1:A10)+B$4*$C5"),
        "delete_rows_ref": formula(1, 2, 3, "Data", False, -1, 2, "Data!A2:B4+'Data'!C3+Other!A2"),
        "columns_3d": formula(2, 2, 1, "S", True, 0, 1, "SUM(Sheet1:Sheet3!B1)+C:C+$F:$H+4:7"),
        "delete_columns_band": formula(3, 1, 2, "S", True, 0, -1, "A1:D4 B2", band=(1, 9)),
        "strings_names": formula(0, 1, 1, "It's", True, 5, 5,
                                 "IF(\"a\"\"b\"=x,'It''s'!A1,LOG10(A1))&#REF!&[1]S!A1&T[[#This Row],[C]]"),
        "sqref": formula(1, 5, 1, "S", True, 0, 0, "A1:B2 D5 F:F 5:7 $B$2:$D$5"),
    }
    for name, data in seeds.items():
        write("formula_references", name, data)


def passwords():
    write("password", "reporter", b"\x08reporterrdncx2Yj")
    write("password", "no_user", b"\x00jQ==")
    write("password", "padding", b"\x02abmoZSiDggfzHk5hyP")
    write("password", "bad_chars", b"\x01u*&^%$#@!==x")


def png_bytes(width, height):
    import zlib
    rows = b"".join(b"\x00" + bytes([(x * 40) % 256, 90, 200]) * 1 + bytes([(x * 40) % 256, 90, 200]) * (width - 1)
                    for x in range(height))
    def chunk(kind, payload):
        return (struct.pack(">I", len(payload)) + kind + payload +
                struct.pack(">I", zlib.crc32(kind + payload) & 0xffffffff))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def workbooks():
    import io
    import tempfile
    import zipfile
    import xlsxwriter

    def build(make):
        buffer = io.BytesIO()
        book = xlsxwriter.Workbook(buffer, {"in_memory": True})
        make(book)
        book.close()
        return buffer.getvalue()

    def basic(book):
        sheet = book.add_worksheet("Data")
        bold = book.add_format({"bold": True, "num_format": "#,##0.00"})
        sheet.write_row(0, 0, ["Region", "Product", "Amount"], bold)
        sheet.write_row(1, 0, ["North", "Bolts", 12.5])
        sheet.write_row(2, 0, ["South", "Nuts", 7])
        sheet.write_formula(3, 2, "=SUM(C2:C3)")
        sheet.write_formula(4, 2, "=Data!C4*2+'Other sheet'!A1")
        sheet.merge_range("A6:B7", "merged")
        sheet.set_column(0, 1, 14)
        sheet.set_row(1, 22)
        sheet.set_h_pagebreaks([3])
        sheet.set_v_pagebreaks([2])
        sheet.write_datetime(8, 0, __import__("datetime").datetime(2009, 3, 1, 12), book.add_format({"num_format": "yyyy-mm-dd"}))
        book.define_name("Total", "=Data!$C$4")
        book.define_name("Data!Local", "=Data!$A$1:$C$3")
        other = book.add_worksheet("Other sheet")
        other.write(0, 0, 3)

    def features(book):
        sheet = book.add_worksheet()
        for row in range(6):
            sheet.write_row(row, 0, [row, row * 2, "t%d" % row])
        sheet.conditional_format("A1:A6", {"type": "cell", "criteria": ">", "value": 2,
                                           "format": book.add_format({"bg_color": "#FFC7CE"})})
        sheet.data_validation("B1:B6", {"validate": "integer", "criteria": "between", "minimum": 0, "maximum": 99})
        sheet.write_url("D1", "https://example.com/report", string="link")
        sheet.write_comment("C2", "note")
        sheet.autofilter("A1:C6")
        sheet.write_array_formula("E1:E3", "{=A1:A3*2}")
        sheet.add_table("G1:H4", {"columns": [{"header": "K"}, {"header": "V"}]})
        sheet.write_rich_string("D3", "plain ", book.add_format({"italic": True}), "italic")

    def pictures(book):
        sheet = book.add_worksheet("Pics")
        folder = tempfile.mkdtemp()
        image = os.path.join(folder, "p.png")
        with open(image, "wb") as f:
            f.write(png_bytes(4, 3))
        sheet.insert_image("B2", image, {"x_scale": 2, "y_scale": 2, "object_position": 1})
        chart = book.add_chart({"type": "column"})
        sheet.write_column("A1", [1, 2, 3])
        chart.add_series({"values": "=Pics!$A$1:$A$3"})
        sheet.insert_chart("D2", chart)

    for name, make in [("basic", basic), ("features", features), ("pictures", pictures)]:
        zipped = build(make)
        if name == "basic":
            write("xlsx", "zip_basic", b"\x00" + zipped)
        parts = []
        with zipfile.ZipFile(io.BytesIO(zipped)) as archive:
            for info in archive.infolist():
                if info.filename.startswith(("docProps/", "xl/theme/")):
                    continue  # large and never read; keeps the seeds small
                parts.append(b"=== " + info.filename.encode() + b"\n" + archive.read(info))
        write("xlsx", "parts_" + name, b"\x01" + b"\n".join(parts))
    write("xlsx", "csv", b"\x02a,b,c\r\n1,\"2,5\",=A1\r\n\"x\"\"y\",,2009-03-01\r\n")


definition_files()
scripts()
cell_lists()
formula_references()
passwords()
workbooks()
