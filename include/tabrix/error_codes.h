// The numbers of the errors Tabrix raises itself (source "TabrixCom"), as hosts receive them from
// Foliowright, RunReport, FunctionAfterExectue and the four fill methods. Errors of the database
// providers and the spreadsheet engine keep their own numbers.
#pragma once

#include <cstdint>

#include "tabrix/error.h"

namespace tabrix {

// Loading the definition file.
inline constexpr std::int32_t kErrDefinitionFileMissing = ObjectErrorNumber(0x0B);   // "The file ... does not exist."
inline constexpr std::int32_t kErrNotDefinitionFile = ObjectErrorNumber(0x0C);       // "... is not an Foliowright file."
inline constexpr std::int32_t kErrDefinitionFileUnreadable = ObjectErrorNumber(0x0D);  // "Error in reading the file ..."

// Steps of a run.
inline constexpr std::int32_t kErrTemplateMissing = ObjectErrorNumber(0x0E);    // template file does not exist
inline constexpr std::int32_t kErrReportNotNamed = ObjectErrorNumber(0x0F);     // no ReportFileName
inline constexpr std::int32_t kErrCreateReportFile = ObjectErrorNumber(0x10);   // report location not writable (read-only report, no folder)
inline constexpr std::int32_t kErrOpenTemplate = ObjectErrorNumber(0x11);       // template not opened
inline constexpr std::int32_t kErrSaveReport = ObjectErrorNumber(0x12);         // report not saved
inline constexpr std::int32_t kErrUnsupportedFormat = ObjectErrorNumber(0x13);  // not saved in ReportFileType's format

// Statements and fill methods.
inline constexpr std::int32_t kErrRecordsetClosed = ObjectErrorNumber(0x1F);    // "The ADODB.Recordset object is closed."
inline constexpr std::int32_t kErrSheetMissing = ObjectErrorNumber(0x33);       // SHEET names no worksheet
inline constexpr std::int32_t kErrWorkbookNotSet = ObjectErrorNumber(0x35);     // "The Excel.Workbook object is not set."
inline constexpr std::int32_t kErrWorksheetNotSet = ObjectErrorNumber(0x36);    // "The Excel.Worksheet object is not set."
inline constexpr std::int32_t kErrNameListMissing = ObjectErrorNumber(0x65);    // no NAME parameter
inline constexpr std::int32_t kErrCellListMissing = ObjectErrorNumber(0x6F);    // no CELL parameter
inline constexpr std::int32_t kErrEmptyFirstCell = ObjectErrorNumber(0x70);     // first CELL entry empty
inline constexpr std::int32_t kErrBadCellList = ObjectErrorNumber(0x71);        // "Failed to parse cell list."
inline constexpr std::int32_t kErrRangeTooSmall = ObjectErrorNumber(0x79);      // range does not hold the cells
inline constexpr std::int32_t kErrBadRange = ObjectErrorNumber(0x7A);           // "Failed to parse range ..."
inline constexpr std::int32_t kErrImageFieldMissing = ObjectErrorNumber(0x83);  // IMAGE names no field
inline constexpr std::int32_t kErrBadImageList = ObjectErrorNumber(0x84);       // "Failed to parse image."
inline constexpr std::int32_t kErrGroupFieldMissing = ObjectErrorNumber(0x8D);  // GROUP names no field
inline constexpr std::int32_t kErrBadGroup = ObjectErrorNumber(0x8E);           // "Failed to parse group."
inline constexpr std::int32_t kErrGroupRangeTooSmall = ObjectErrorNumber(0x8F);  // GROUPRANGE does not hold its level
inline constexpr std::int32_t kErrBadGroupRange = ObjectErrorNumber(0x90);      // "Failed to parse grouprange."

// Anything unexpected (out of memory, an unknown failure).
inline constexpr std::int32_t kErrUnexpected = ObjectErrorNumber(0x1FF);

}  // namespace tabrix
