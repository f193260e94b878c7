// Identifiers of the settings dialog's resources, shared by the resource
// script and the dialog procedure. Plain defines: the resource compiler
// reads this file too.
#pragma once

#define IDD_SETTINGS 101     // the dialog template
#define IDC_ACCENTOR 1001    // check box: stress marks
#define IDC_HOMOSOLVER 1002  // check box: homograph resolver
#define IDC_STATUS 1003      // status line, empty until a save fails
#define IDC_READING 1004     // check box: written forms read in full
