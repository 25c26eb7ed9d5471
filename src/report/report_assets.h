// The style sheets and scripts of the report and catalogue pages. Each is a file of its own
// in src/report/assets/, built into the program as text (cmake/embed_assets.cmake); each
// text starts on its first line and ends with a line break.
#pragma once

// report.css: the style sheet, the text of a <style> element.
extern const char* const kReportStyle;
// report_errors.js: set first, so that errors of the main script are caught and shown.
extern const char* const kReportErrorScript;
// report.js: draws the plots from the page's data and lets them be hovered, zoomed and linked to.
extern const char* const kReportScript;
// catalogue.css: the catalogue's table takes the window's width: texts wrap, and the worst
// values hide on request.
extern const char* const kCatalogueStyle;
// catalogue.js: sorting and filtering the catalogue's table.
extern const char* const kCatalogueScript;
