# Writes the formula corpus workbook: data cells of every kind, an operator matrix, cases of
# every supported function, a report laid out like a filled template, and formulas the
# evaluator must leave to the reader.
#
# usage: formula_corpus.py OUTPUT.xlsx
#
# The values of the formula cells are not written here: the evaluator computes them, and
# LibreOffice recalculates the same file as the reference.
import sys

import openpyxl
from openpyxl.workbook.defined_name import DefinedName

wb = openpyxl.Workbook()
data = wb.active
data.title = "Data"

numbers = [10, 20.5, -3, 0, 7, 1e6, 0.125, 42, 15, -8.75, 3, 100]
texts = ["apple", "Banana", "cherry", "apple", "date", "Elder", "fig", "Apple", "grape",
         "banana", "kiwi", "lemon"]
mixed = [5, "5", "x", None, '=""', 2.5, "abc", 12, None, "12", -1, "Z"]
regions = ["East", "West", "North", "East", "West", "East", "South", "North", "East", "West",
           "South", "East"]
for i in range(12):
    r = i + 1
    data.cell(r, 1, numbers[i])
    data.cell(r, 2, texts[i])
    if mixed[i] is not None:
        data.cell(r, 3, mixed[i])
    d = data.cell(r, 4, 45292 + i * 17)  # dates from 2024-01-01
    d.number_format = "yyyy-mm-dd"
    data.cell(r, 5, regions[i])
data["F1"] = "=NA()"
data["F2"] = "=1/0"
data["F3"] = "text"
data["F4"] = 4
for i, (key, word, amount) in enumerate([(10, "ten", 1.5), (20, "twenty", 2.5), (30, "thirty", 3.5),
                                         (40, "forty", 4.5), (50, "fifty", 5.5)]):
    data.cell(i + 1, 7, key)
    data.cell(i + 1, 8, word)
    data.cell(i + 1, 9, amount)
data["J1"] = "Grüße aus Köln"
data["J2"] = "  padded   text  "
data["J3"] = "a*c"
data["J4"] = "2009-07-04"
data["J5"] = "1,234.5"

other = wb.create_sheet("Other Sheet")
for r in range(1, 6):
    other.cell(r, 1, r * 1.25)
    other.cell(r, 2, "item %d" % r)

wb.defined_names.append(DefinedName("Rate", attr_text="0.2"))
wb.defined_names.append(DefinedName("Title", attr_text='"Quarterly ""A"""'))
wb.defined_names.append(DefinedName("Nums", attr_text="Data!$A$1:$A$12"))
wb.defined_names.append(DefinedName("Cats", attr_text="Data!$E$1:$E$12"))
wb.defined_names.append(DefinedName("Keys", attr_text="Data!$G$1:$I$5"))

# ---------------------------------------------------------------------------------------------
# Operators between operands of every kind.
ops_sheet = wb.create_sheet("Ops")
operands = ["Data!A1", "Data!A4", "Data!A3", "Data!A7", "Data!B1", "Data!B2", "Data!C4",
            "Data!C2", "Data!F1", "Data!F2", "3", "-2.5", "0", '"abc"', '"12"', '""']
zeroish = {"Data!A4", "Data!C4", "0"}
operators = ["+", "-", "*", "/", "^", "&", "=", "<>", "<", ">", "<=", ">="]
row = 1
for op in operators:
    for left in operands:
        for right in operands:
            # Where LibreOffice departs from the spreadsheet application: 0^0 (#NUM!, not 1),
            # 0 to a negative power (#DIV/0!, not #NUM!), two error operands of "&" (the left
            # error, not the right one), ...
            if op == "^" and left in zeroish and (right in zeroish or right in ("Data!A3", "-2.5")):
                continue
            if op == "&" and left in ("Data!F1", "Data!F2") and right in ("Data!F1", "Data!F2"):
                continue
            # A text literal that is no number, then an error: LibreOffice gives the error, the
            # application (as for text in a cell) #VALUE!.
            if left in ('"abc"', '""') and right in ("Data!F1", "Data!F2") and op not in ("&", "=", "<>", "<", ">", "<=", ">="):
                continue
            ops_sheet.cell(row, 1, "=%s%s%s" % (left, op, right))
            row += 1
for formula in ["-Data!A1", "-Data!B1", "-Data!C4", "Data!A1%", "-Data!A3^2", "2^3^2",
                "-(2^2)", "2+3*4-1", "(1+2)*3", "10/4/2", "1-2-3", "50%*Data!A1",
                "Data!A1&Data!A2&Data!B1", "0.1+0.2-0.3", "1*(0.5-0.4-0.1)", "(0.1+0.2)=0.3",
                "1/3&\"\"", "2/3*3=2", "Data!C2+Data!C10", "\" 7 \"*2", "\"1,000\"+1",
                "\"50%\"*2", "\"2009-01-02\"+0", "\"1/2/2009\"+0", "\"12:30\"*48",
                "\"1e3\"+0", "1234567.891&\"\"", "0.00001234&\"\"", "123456789&\"x\""]:
    ops_sheet.cell(row, 1, "=" + formula)
    row += 1

# ---------------------------------------------------------------------------------------------
# Functions.
calc = wb.create_sheet("Calc")
cases = [
    # aggregates
    "SUM(Data!A1:A12)", "SUM(Data!A:A)", "SUM(Data!C1:C12)", 
    "SUM(Nums)", "SUM(Data!A1:A3,5,TRUE)", "SUM(Data!A1:B12)", "SUM(Data!F1:F4)", "SUM('Other Sheet'!A1:A5)",
    "COUNT(Data!A1:C12)", "COUNT(Data!C1:C12)", "COUNT(1,\"2\",\"x\")", "COUNTA(Data!C1:C12)",
    "COUNTA(Data!A1:F12)", "COUNTBLANK(Data!C1:C12)", "COUNTBLANK(Data!A1:F12)",
    "AVERAGE(Data!A1:A12)", "AVERAGE(Data!C1:C12)", "AVERAGE(Data!B1:B3)", "MIN(Data!A1:A12)",
    "MAX(Data!A1:A12)", "MIN(Data!C1:C12)", "MAX(Data!B1:B3)", "MAX(Data!A1:A12,2000000)",
    "PRODUCT(Data!A1:A3)", "SUM(Data!A1:A12)/COUNT(Data!A1:A12)",
    # SUBTOTAL
    "SUBTOTAL(9,Data!A1:A12)", "SUBTOTAL(1,Data!A1:A12)", "SUBTOTAL(2,Data!A1:C12)",
    "SUBTOTAL(3,Data!A1:C12)", "SUBTOTAL(4,Data!A1:A12)", "SUBTOTAL(5,Data!A1:A12)",
    "SUBTOTAL(6,Data!A1:A3)", "SUBTOTAL(7,Data!A1:A12)", "SUBTOTAL(8,Data!A1:A12)",
    "SUBTOTAL(10,Data!A1:A12)", "SUBTOTAL(11,Data!A1:A12)", "SUBTOTAL(109,Data!A1:A12)",
    "SUBTOTAL(101,Data!A1:A12)", "SUBTOTAL(103,Data!B1:B12)",
    # SUMPRODUCT and arrays
    "SUMPRODUCT(Data!A1:A12,Data!G1:G12)", "SUMPRODUCT((Data!E1:E12=\"East\")*Data!A1:A12)",
    "SUMPRODUCT(--(Data!B1:B12=\"apple\"))", "SUMPRODUCT((Data!A1:A12>5)*(Data!A1:A12<50))",
    "SUMPRODUCT(Data!A1:A5*{1;2;3;4;5})", "SUMPRODUCT(LEN(Data!B1:B12))",
    "SUMPRODUCT((LEFT(Data!B1:B12,1)=\"b\")*1)", "SUMPRODUCT(ROW(Data!A1:A4)*Data!A1:A4)",
    "SUMPRODUCT(Data!A1:A3,Data!A1:A4)", "SUMPRODUCT(ISNUMBER(Data!C1:C12)*1)",
    "SUMPRODUCT(IF(Data!A1:A12>10,Data!A1:A12,0))", "SUMPRODUCT(ABS(Data!A1:A12))",
    "SUMPRODUCT(ROUND(Data!A1:A12/3,2))", "SUM({1,2,3;4,5,6})", "INDEX({1,2;3,4},2,2)",
    # conditional aggregates
    "SUMIF(Data!E1:E12,\"East\",Data!A1:A12)", "SUMIF(Data!E1:E12,\"east\",Data!A1:A12)",
    "SUMIF(Data!E1:E12,\"<>East\",Data!A1:A12)", "SUMIF(Data!A1:A12,\">10\")",
    "SUMIF(Data!A1:A12,\"<=0\")", "SUMIF(Data!B1:B12,\"a*\",Data!A1:A12)",
    "SUMIF(Data!B1:B12,\"?a*\",Data!A1:A12)", "SUMIF(Data!E:E,\"West\",Data!A:A)",
    "SUMIF(Data!E1:E12,\"West\",Data!A1)", "SUMIF(Cats,\"North\",Nums)",
    "SUMIF(Data!C1:C12,\"\",Data!A1:A12)", "SUMIF(Data!C1:C12,\"<>\",Data!A1:A12)",
    "SUMIF(Data!C1:C12,5,Data!A1:A12)", "SUMIF(Data!C1:C12,\"5\",Data!A1:A12)",
    "SUMIF(Data!D1:D12,\">=\"&DATE(2024,3,1),Data!A1:A12)",
    "COUNTIF(Data!E1:E12,\"East\")", "COUNTIF(Data!B1:B12,\"apple\")",
    "COUNTIF(Data!B1:B12,\"*an*\")", "COUNTIF(Data!B1:B12,\"<c\")", "COUNTIF(Data!A1:A12,\">=\"&10)",
    "COUNTIF(Data!C1:C12,\"<>x\")", "COUNTIF(Data!C1:C12,\"\")", "COUNTIF(Data!C1:C12,12)",
    "COUNTIF(Data!C1:C12,\"12\")", "COUNTIF(Data!A:A,\">0\")", "COUNTIF(Data!J1:J5,\"a~*c\")",
    "COUNTIF(Data!B1:B12,\"?????\")", "COUNTIF(Data!A1:A12,Data!A5)",
    "COUNTIFS(Data!E1:E12,\"East\",Data!A1:A12,\">5\")",
    "COUNTIFS(Data!E1:E12,\"<>East\",Data!B1:B12,\"<>apple\")",
    "COUNTIFS(Data!C1:C12,\"\",Data!A1:A12,\"<50\")",
    "SUMIFS(Data!A1:A12,Data!E1:E12,\"East\",Data!B1:B12,\"a*\")",
    "SUMIFS(Data!A1:A12,Data!E1:E12,\"West\")", "SUMIFS(Data!A1:A12,Data!A1:A12,\">0\",Data!A1:A12,\"<20\")",
    "SUMIFS(Data!A1:A12,Data!E1:E11,\"West\")",
    "AVERAGEIF(Data!E1:E12,\"East\",Data!A1:A12)", "AVERAGEIF(Data!A1:A12,\">0\")",
    "AVERAGEIF(Data!E1:E12,\"Nowhere\",Data!A1:A12)",
    # rounding and arithmetic functions
    "ROUND(2.675,2)", "ROUND(1.005,2)", "ROUND(-2.5,0)", "ROUND(1234.5678,-2)", "ROUND(Data!A2/3,4)",
    "ROUND(1/3,15)", "ROUNDUP(1.1*3,1)", "ROUNDUP(-1.21,1)", "ROUNDUP(1234,-2)",
    "ROUNDUP(Data!A7,1)", "ROUNDDOWN(-1.29,1)", "ROUNDDOWN(0.3*3,1)", "ROUNDDOWN(999,-3)",
    "ROUND(Data!B1,1)", "INT(-0.5)", "INT(7.9)", "INT(Data!A10)", "ABS(Data!A10)", "MOD(-1,3)",
    "MOD(1,-3)", "MOD(5.5,2)", "MOD(0.3,0.1)", "MOD(10,0)", "MOD(Data!A2,4)",
    # logic and information
    "IF(Data!A1>5,\"big\",\"small\")", "IF(Data!C4,1,2)", "IF(Data!A4,1,2)", "IF(FALSE,1)",
    "IF(Data!A1>5,Data!B1)", "IF(Data!F1,1,2)", "IF(Data!B1=\"APPLE\",1,0)",
    "SUM(IF(TRUE,Data!A1:A3,Data!A4:A6))", "IFERROR(Data!F1,\"missing\")", "IFERROR(1/0,0)",
    "IFERROR(Data!A1*2,0)", "IFERROR(VLOOKUP(99,Data!G1:H5,2,FALSE),\"-\")",
    "AND(Data!A1>5,Data!A2>5)", "AND(Data!A1:A3)", "OR(Data!A4,Data!A5>100)", "OR(Data!A1:A12>40)",
    "NOT(Data!A4)", "NOT(Data!A1>5)", "ISBLANK(Data!C4)", "ISBLANK(Data!C5)", "ISNUMBER(Data!C1)",
    "ISNUMBER(Data!C2)", "ISERROR(Data!F2)", "ISERROR(Data!A1)", "ISNA(Data!F1)", "ISERR(Data!F1)",
    "ISTEXT(Data!C5)", "ISNONTEXT(Data!C4)", "ISLOGICAL(Data!A1>5)", "ISLOGICAL(Data!C4)",
    # text
    "LEFT(Data!J1,5)", "RIGHT(Data!J1,4)", "MID(Data!J1,3,3)", "MID(Data!J1,30,2)", "LEN(Data!J1)",
    "LEFT(Data!B1)", "LEFT(Data!B1,-1)", "MID(Data!B1,0,1)", "UPPER(Data!B2)", "LOWER(Data!B2)",
    "UPPER(\"köln\")", "TRIM(Data!J2)", "LEN(Data!J2)", "CONCATENATE(Data!B1,\"-\",Data!A2)",
    "CONCATENATE(\"x\",Data!F2)", "VALUE(Data!J5)", "VALUE(\"(12)\")", "VALUE(\"abc\")",
    "VALUE(Data!J4)", "LEN(Data!A2)", "LEFT(Data!A6,3)", "Data!B1&\" \"&Data!A7",
    "TEXT(Data!A2,\"0.00\")", "TEXT(Data!A6,\"#,##0\")", "TEXT(Data!A7,\"0.0%\")",
    "TEXT(Data!D1,\"yyyy-mm-dd\")", "TEXT(Data!D5,\"mmm d, yyyy\")", "TEXT(1234.5,\"$#,##0.00\")",
    "TEXT(-5,\"0;(0)\")", "Title&\" report\"",
    # dates
    "DATE(2024,2,29)", "DATE(2024,13,1)", "DATE(2024,1,0)", "DATE(2024,-1,15)", "DATE(99,1,1)",
    "DATE(2024,1,1)+30", "YEAR(Data!D12)", "MONTH(Data!D12)", "DAY(Data!D12)",
    "YEAR(\"2009-07-04\")", "MONTH(DATE(2023,14,1))", "DAY(DATE(2024,3,0))", 
    "TODAY()-TODAY()", "INT(NOW())=TODAY()",
    # lookup and reference
    "VLOOKUP(30,Data!G1:I5,2,FALSE)", "VLOOKUP(35,Data!G1:I5,3)", "VLOOKUP(35,Data!G1:I5,3,TRUE)",
    "VLOOKUP(5,Data!G1:I5,2)", "VLOOKUP(99,Data!G1:I5,2)", "VLOOKUP(35,Data!G1:I5,2,FALSE)",
    "VLOOKUP(10,Data!G1:I5,0,FALSE)", "VLOOKUP(20,Keys,2,0)",
    "VLOOKUP(\"CHERRY\",Data!B1:D12,3,FALSE)", "VLOOKUP(\"c*\",Data!B1:D12,3,FALSE)",
    "VLOOKUP(45,Data!G:I,3)", "HLOOKUP(\"t*\",Data!G1:H5,2,FALSE)", "HLOOKUP(25,{10,20,30;\"a\",\"b\",\"c\"},2)",
    "MATCH(\"cherry\",Data!B1:B12,0)", "MATCH(\"APPLE\",Data!B1:B12,0)", "MATCH(42,Data!G1:G5)",
    "MATCH(42,Data!G1:G5,1)", "MATCH(42,{50,40,30},-1)", "MATCH(\"x\",Data!B1:B12,0)",
    "MATCH(\"g?ape\",Data!B1:B12,0)", "INDEX(Data!G1:I5,2,3)", "INDEX(Data!B1:B12,4)",
    "INDEX(Data!G1:I1,3)", "SUM(INDEX(Data!G1:I5,0,3))", "SUM(INDEX(Data!G1:I5,2,0))",
    "INDEX(Data!H1:H5,MATCH(40,Data!G1:G5,0))",
    "SUM(Data!A1:INDEX(Data!A1:A12,4))", "ROW()", "COLUMN()", "ROW(Data!C3:C9)",
    "COLUMN(Data!AB1)",
    # names
    "Rate*100", "Title", "SUM(Nums)*Rate", "COUNTIF(Cats,\"East\")", "Unknown_Name",
    "'Other Sheet'!A3*2", "SUM('Other Sheet'!A:A)", "COUNTA('Other Sheet'!B1:B10)",
]
row = 1
for case in cases:
    calc.cell(row, 1, "=" + case)
    row += 1
# A few formulas that refer to other formula cells of the corpus.
calc.cell(row, 1, "=A1+A2")
calc.cell(row + 1, 1, "=SUM(A1:A%d)" % (row - 1))
calc.cell(row + 2, 1, "=COUNTIF(A1:A%d,\">100\")" % (row - 1))

# ---------------------------------------------------------------------------------------------
# A report as a template looks after the fill: a table with row formulas, group subtotals,
# totals, shares of the total, a lookup into a rate table and names set to constants.
report = wb.create_sheet("Report")
rates = wb.create_sheet("Rates")
for i, (region, rate) in enumerate([("East", 0.05), ("North", 0.07), ("South", 0.06), ("West", 0.04)]):
    rates.cell(i + 1, 1, region)
    rates.cell(i + 1, 2, rate)
wb.defined_names.append(DefinedName("ReportTitle", attr_text='"Sales by region"'))
wb.defined_names.append(DefinedName("TaxRate", attr_text="0.19"))
report["A1"] = '=ReportTitle&" "&TEXT(DATE(2024,12,31),"yyyy-mm-dd")'
report["A3"] = "Region"
row = 4
group_rows = []
detail_first = row
region_names = ["East", "North", "South", "West"]
serial = 0
for g, region in enumerate(region_names):
    first = row
    for k in range(6 + g * 3):
        serial += 1
        report.cell(row, 1, region)
        report.cell(row, 2, "P%03d" % serial)
        report.cell(row, 3, (serial * 7) % 23 + 1)              # quantity
        report.cell(row, 4, round(1.5 + (serial * 13 % 17) * 0.35, 2))  # price
        report.cell(row, 5, "=C%d*D%d" % (row, row))             # amount
        report.cell(row, 6, "=IF(C%d>12,ROUND(E%d*VLOOKUP(A%d,Rates!$A$1:$B$4,2,FALSE),2),0)"
                    % (row, row, row))                            # discount
        report.cell(row, 7, "=E%d-F%d" % (row, row))             # net
        report.cell(row, 8, "=ROUND(G%d*TaxRate,2)" % row)       # tax
        row += 1
    last = row - 1
    report.cell(row, 1, region + " total")
    for col in "CEFGH":
        report["%s%d" % (col, row)] = "=SUBTOTAL(9,%s%d:%s%d)" % (col, first, col, last)
    report["B%d" % row] = "=SUBTOTAL(3,B%d:B%d)" % (first, last)
    group_rows.append(row)
    row += 1
detail_last = row - 1
total = row + 1
report.cell(total, 1, "Grand total")
for col in "CEFGH":
    report["%s%d" % (col, total)] = "=SUBTOTAL(9,%s%d:%s%d)" % (col, detail_first, col, detail_last)
report["B%d" % total] = "=SUBTOTAL(3,B%d:B%d)" % (detail_first, detail_last)
report["I%d" % total] = "=SUM(G%d:G%d)/2" % (detail_first, detail_last)
for r in range(detail_first, detail_last + 1):
    report["J%d" % r] = "=IF(ISNUMBER(G%d),ROUND(G%d/$G$%d,4),\"\")" % (r, r, total)
summary = total + 2
for i, region in enumerate(region_names):
    r = summary + i
    report.cell(r, 1, region)
    report["B%d" % r] = '=COUNTIF($A$%d:$A$%d,A%d)' % (detail_first, detail_last, r)
    report["C%d" % r] = '=SUMIF($A$%d:$A$%d,A%d,$G$%d:$G$%d)' % (detail_first, detail_last, r,
                                                                   detail_first, detail_last)
    report["D%d" % r] = '=AVERAGEIF($A$%d:$A$%d,A%d,$E$%d:$E$%d)' % (detail_first, detail_last, r,
                                                                       detail_first, detail_last)
    report["E%d" % r] = '=MAX(INDEX($G$%d:$G$%d,0))-MIN($G$%d:$G$%d)' % (detail_first, detail_last,
                                                                         detail_first, detail_last)
    report["F%d" % r] = '=TEXT(C%d/$G$%d,"0.0%%")' % (r, total)
report["A%d" % (summary + 5)] = '="Largest order: "&INDEX($B$%d:$B$%d,MATCH(MAX($E$%d:$E$%d),$E$%d:$E$%d,0))' % (
    detail_first, detail_last, detail_first, detail_last, detail_first, detail_last)

# ---------------------------------------------------------------------------------------------
# Formulas left to the reader: the evaluator must not produce a value for them.
unsupported = wb.create_sheet("Unsupported")
for r, formula in enumerate(["=OFFSET(Data!A1,1,0)", "=INDIRECT(\"Data!A1\")", "=A1+1",
                             "=SUM(A1:A2)", "=IFERROR(A1,0)", "=STDEV(Data!A1:A12)",
                             "=A8+1", "=A7+1"], start=1):
    unsupported.cell(r, 1, formula)

wb.save(sys.argv[1])
