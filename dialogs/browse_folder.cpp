#include "app/tether_dlg.h"

void CTetherDlg::OnBrowseFolder()
{
}
