#include "app/AboutDlg.h"

CAboutDlg::CAboutDlg() : ui::Dialog((RegisterResources(), IDD))
{
}
