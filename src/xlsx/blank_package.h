// The package of a new workbook: one empty sheet, default styles. New workbooks and text files
// opened as workbooks start from it.
#pragma once

#include <string>

#include "xlsx/zip_archive.h"

namespace tabrix::xlsx {

// The parts of a new workbook with one empty sheet.
PackageParts BlankPackage(const std::string& sheetName);

}  // namespace tabrix::xlsx
