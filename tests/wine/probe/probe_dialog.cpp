// Wine probe: a modal dialog from a DIALOGEX template, driven from outside by
// probe_driver.exe. Exit code: 0 = Finish after at least one Next, 3 = Finish
// without Next, 2 = Cancel/close, 1 = the dialog could not be shown.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "probe_ids.h"

namespace {

int g_next_clicks = 0;

void set_status(HWND dlg) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Step %d", g_next_clicks + 1);
    SetDlgItemTextA(dlg, IDC_STATUS, buf);
    SendDlgItemMessageA(dlg, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>((g_next_clicks * 25) % 101), 0);
}

// Print (to stdout, which Wine passes through when started from a shell) the face
// the dialog font asked for and the face GDI actually chose.
void report_font(HWND dlg) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
    LOGFONTA lf{};
    if (font) GetObjectA(font, sizeof lf, &lf);
    char actual[LF_FACESIZE] = {};
    HDC dc = GetDC(dlg);
    HGDIOBJ old = SelectObject(dc, font);
    GetTextFaceA(dc, sizeof actual, actual);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(dlg, dc);
    std::printf("dialog font: requested \"%s\" height %ld, GDI chose \"%s\" (tmHeight %ld)\n", lf.lfFaceName,
                lf.lfHeight, actual, tm.tmHeight);
    std::fflush(stdout);
}

INT_PTR CALLBACK dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowTextA(dlg, "Chanwiz Probe");
        const char* channels[] = {"E2  48.25 MHz", "E3  55.25 MHz", "E4  62.25 MHz", "S21 303.25 MHz"};
        for (const char* c : channels) SendDlgItemMessageA(dlg, IDC_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c));
        SendDlgItemMessageA(dlg, IDC_LIST, LB_SETCURSEL, 0, 0);
        // Added unsorted on purpose: CBS_SORT must order them.
        const char* countries[] = {"Germany", "Austria", "Switzerland", "Belgium"};
        for (const char* c : countries) SendDlgItemMessageA(dlg, IDC_COMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c));
        SendDlgItemMessageA(dlg, IDC_COMBO, CB_SETCURSEL, 0, 0);
        SendDlgItemMessageA(dlg, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        set_status(dlg);
        report_font(dlg);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_NEXT:
            if (HIWORD(wp) == BN_CLICKED) {
                ++g_next_clicks;
                set_status(dlg);
            }
            return TRUE;
        case IDOK:
            EndDialog(dlg, g_next_clicks > 0 ? 0 : 3);
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, 2);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    INT_PTR r = DialogBoxParamA(inst, MAKEINTRESOURCEA(IDD_PROBE), nullptr, dialog_proc, 0);
    if (r == -1) return 1;
    return static_cast<int>(r);
}
