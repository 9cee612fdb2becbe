#include "app/camera_events.h"
#include "app/tether_dlg.h"

void CTetherDlg::OnSelectCamera()
{
    g_hEventWnd.Set(this);
}
