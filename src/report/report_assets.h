// The style and the script inside every report page.
#pragma once

// The style sheet, the text of a <style> element.
extern const char* const kReportStyle;
// Set first, so that errors of the main script are caught and shown.
extern const char* const kReportErrorScript;
// Draws the plots from the page's data and lets them be hovered, zoomed and linked to.
extern const char* const kReportScript;
