// Formats the workbook engine reaches through LibreOffice. Templates in the binary, OpenDocument
// and old text interchange formats are converted to Open XML before they are opened; reports in
// a format the engine does not write are saved as Open XML and converted.
//
// Without an OfficeConverter every conversion runs its own headless LibreOffice process in a
// private temporary folder with a throwaway user profile (concurrent conversions never share
// one), is bounded in time (a converter that does not finish is stopped with its whole process
// group) and removes its temporary files. The process's current directory is never changed.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "xlsx/zip_archive.h"

namespace tabrix {
class OfficeConverter;
}

namespace tabrix::xlsx {

class XlsxWorkbook;

// A file format handled by LibreOffice.
struct OfficeFormat {
  std::int32_t fileFormat;   // the object model's file-format code
  const char* extension;     // extension LibreOffice gives the converted file ("xls")
  const char* filter;        // LibreOffice filter that writes the format; empty: it cannot write it
  const char* description;   // "Excel 97-2003 Workbook"
};

// The format of a template read through LibreOffice, by the file's extension (".xls", any
// case); nullptr when the engine reads the extension itself or not at all.
const OfficeFormat* OfficeTemplateFormat(std::string_view extension);
// The format of a report written through LibreOffice, by file-format code (56, -4143, 17, 60,
// 57, 44, 2, 9; 50 is known but cannot be written); nullptr for other codes.
const OfficeFormat* OfficeSaveFormat(std::int32_t fileFormat);

struct OfficeConverterSettings {
  // The converter program: a path, or a name looked up on PATH. Empty: the program named by
  // the environment variable TABRIX_OFFICE_PROGRAM, else soffice on PATH, /usr/bin/soffice or
  // /usr/lib/libreoffice/program/soffice.
  std::string program;
  // Longest time one conversion may take. Zero: TABRIX_OFFICE_TIMEOUT (seconds) from the
  // environment, else kDefaultOfficeTimeout.
  std::chrono::milliseconds timeout{0};
  // Long-lived LibreOffice processes that serve the conversion; null: a process of its own.
  // When set, its own program and timeout apply.
  std::shared_ptr<OfficeConverter> converter;
};

inline constexpr std::chrono::seconds kDefaultOfficeTimeout{300};

// The program a conversion would run; empty when none is found.
std::string FindOfficeProgram(const OfficeConverterSettings& settings = {});

// Converts `input` into `targetExtension` with the LibreOffice filter `filter` and puts the
// result at `output`, replacing a file there in one rename. `input` is only read. Raises an
// AutomationError (the engine's number 1004) whose description says what went wrong: no
// converter, a converter that could not be started, did not finish in time (it is stopped) or
// produced nothing (with LibreOffice's own output).
void ConvertWithOffice(const std::string& input, const std::string& targetExtension,
                       const std::string& filter, const std::string& output,
                       const OfficeConverterSettings& settings = {});

// The converter settings of the application `book` belongs to.
OfficeConverterSettings ConverterSettingsOf(const XlsxWorkbook& book);

// The Open XML parts of a template read through LibreOffice. Raises the engine's open error
// ("'<file>' cannot be opened: ...") when the file does not look like `format` or the
// conversion fails.
PackageParts ReadOfficeTemplate(const std::string& path, const OfficeFormat& format,
                                const OfficeConverterSettings& settings = {});

// Writes `book` as Open XML into a private folder and converts it to `format` at `target` with
// the converter settings of the book's application. Raises the engine's SaveAs error, naming
// the format and the reason, when it cannot.
void SaveThroughOffice(XlsxWorkbook& book, const std::string& target, const OfficeFormat& format);

}  // namespace tabrix::xlsx
