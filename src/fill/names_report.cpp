// The names fill: the first record's fields become the values of the listed workbook names.
#include "fill/names_report.h"

#include <algorithm>

#include "fill/cell_references.h"
#include "fill/cell_values.h"
#include "fill/error_frame.h"
#include "tabrix/error_codes.h"

namespace tabrix::fill {

void RunSetExcelName(const RecordsetPtr& recordset, const WorkbookPtr& workbook,
                     const std::string& nameList) {
  if (!workbook) RaiseTabrixError(kErrWorkbookNotSet, "The Excel.Workbook object is not set.");
  if (!recordset) RaiseObjectNotSet();
  if (recordset->State() == platform::kStateClosed)
    RaiseTabrixError(kErrRecordsetClosed, "The ADODB.Recordset object is closed.");

  RunFramed("Failed to execute function NAME. ", [&] {
    const std::vector<std::string> names = SplitList(nameList);
    if (names.empty())
      PassThroughErrors([] {
        RaiseTabrixError(kErrNameListMissing, "Syntax error. There is a lack of the parameter \"NAME\".");
      });
    if (recordset->Eof()) return;

    // Only the current record is read; the position does not move.
    platform::Fields& fields = recordset->GetFields();
    const std::int32_t count =
        std::min<std::int32_t>(fields.Count(), static_cast<std::int32_t>(names.size()));
    platform::Names& workbookNames = workbook->GetNames();
    for (std::int32_t k = 0; k < count; ++k)
      workbookNames.SetValue(names[static_cast<size_t>(k)], ReadFieldValue(fields.Item(k)));
  });
}

}  // namespace tabrix::fill
