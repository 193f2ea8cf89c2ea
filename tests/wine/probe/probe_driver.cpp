// Wine probe: a console "UI driver" that finds a dialog by class "#32770" and title,
// reads and checks control texts, and clicks buttons with WM_COMMAND(BN_CLICKED).
//
// usage: probe_driver.exe TITLE COMMAND...
//   wait               find the dialog (poll 30 x 150 ms); implicit before the first command
//   get ID             print "get ID=<text>"
//   expect ID TEXT     fail unless the control text equals TEXT
//   lbcount ID N       fail unless the listbox has N items
//   cbfirst ID TEXT    fail unless item 0 of the combobox is TEXT (CBS_SORT check)
//   lbtext ID N TEXT   fail unless listbox item N is TEXT
//   click ID           send WM_COMMAND(MAKEWPARAM(ID, BN_CLICKED), hwndButton), 5 s bound
//   gone               wait (30 x 150 ms) until the dialog is closed
//   sleep MS
// Exit code 0 when every command succeeded, 1 otherwise (the failing step is printed).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* g_title = nullptr;
HWND g_dlg = nullptr;

HWND find_dialog(int tries = 30, DWORD pause_ms = 150) {
    for (int i = 0; i < tries; ++i) {
        HWND w = FindWindowA("#32770", g_title);
        if (w) return w;
        Sleep(pause_ms);
    }
    return nullptr;
}

bool need_dialog() {
    if (g_dlg && IsWindow(g_dlg)) return true;
    g_dlg = find_dialog();
    if (!g_dlg) std::printf("FAIL: no dialog \"#32770\" titled \"%s\"\n", g_title);
    return g_dlg != nullptr;
}

std::string item_text(int id) {
    char buf[512] = {};
    GetDlgItemTextA(g_dlg, id, buf, sizeof buf);
    return buf;
}

// Item text of a listbox/combobox in another process. The W message is used: under
// Wine 8 the ANSI CB_GETLBTEXT / LB_GETTEXT sent to another process come back as
// UTF-16 (so "Austria" reads as "A"); WM_GETTEXT (GetDlgItemTextA) is fine.
std::string list_item_w(int id, int index, bool combo) {
    UINT len_msg = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    UINT get_msg = combo ? CB_GETLBTEXT : LB_GETTEXT;
    HWND ctl = GetDlgItem(g_dlg, id);
    LRESULT len = SendMessageW(ctl, len_msg, static_cast<WPARAM>(index), 0);
    if (len < 0 || len > 1000) return "<error>";
    wchar_t wbuf[1024] = {};
    SendMessageW(ctl, get_msg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wbuf));
    char buf[2048] = {};
    WideCharToMultiByte(CP_ACP, 0, wbuf, -1, buf, sizeof buf, nullptr, nullptr);
    return buf;
}

std::string list_item_a(int id, int index, bool combo) {
    UINT len_msg = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    UINT get_msg = combo ? CB_GETLBTEXT : LB_GETTEXT;
    HWND ctl = GetDlgItem(g_dlg, id);
    LRESULT len = SendMessageA(ctl, len_msg, static_cast<WPARAM>(index), 0);
    if (len < 0 || len > 1000) return "<error>";
    char buf[2048] = {};
    SendMessageA(ctl, get_msg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf));
    return buf;
}

bool click(int id) {
    HWND btn = GetDlgItem(g_dlg, id);
    if (!btn) {
        std::printf("FAIL: no control %d\n", id);
        return false;
    }
    DWORD_PTR result = 0;
    LRESULT ok = SendMessageTimeoutA(g_dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                     reinterpret_cast<LPARAM>(btn), SMTO_ABORTIFHUNG, 5000, &result);
    if (!ok) {
        std::printf("FAIL: WM_COMMAND to %d timed out (error %lu)\n", id, GetLastError());
        return false;
    }
    std::printf("click %d ok\n", id);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TITLE COMMAND...\n", argv[0]);
        return 2;
    }
    g_title = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string cmd = argv[i];
        auto arg = [&](int k) -> const char* { return i + k < argc ? argv[i + k] : ""; };
        bool ok = true;
        if (cmd == "wait") {
            ok = need_dialog();
            if (ok) std::printf("found dialog %p\n", static_cast<void*>(g_dlg));
        } else if (cmd == "get") {
            ok = need_dialog();
            if (ok) std::printf("get %s=%s\n", arg(1), item_text(std::atoi(arg(1))).c_str());
            i += 1;
        } else if (cmd == "expect") {
            ok = need_dialog();
            if (ok) {
                std::string t = item_text(std::atoi(arg(1)));
                ok = t == arg(2);
                std::printf("%s: control %s text \"%s\" (want \"%s\")\n", ok ? "ok" : "FAIL", arg(1), t.c_str(), arg(2));
            }
            i += 2;
        } else if (cmd == "lbcount") {
            ok = need_dialog();
            if (ok) {
                LRESULT n = SendDlgItemMessageA(g_dlg, std::atoi(arg(1)), LB_GETCOUNT, 0, 0);
                ok = n == std::atoi(arg(2));
                std::printf("%s: listbox %s has %ld items (want %s)\n", ok ? "ok" : "FAIL", arg(1), static_cast<long>(n), arg(2));
            }
            i += 2;
        } else if (cmd == "cbfirst" || cmd == "lbtext") {
            ok = need_dialog();
            if (ok) {
                bool combo = cmd == "cbfirst";
                int id = std::atoi(arg(1));
                int index = combo ? 0 : std::atoi(arg(2));
                const char* want = combo ? arg(2) : arg(3);
                std::string a = list_item_a(id, index, combo);
                std::string w = list_item_w(id, index, combo);
                ok = w == want;
                std::printf("%s: %s %d item %d \"%s\" (want \"%s\"; ANSI message gave \"%s\")\n", ok ? "ok" : "FAIL",
                            combo ? "combobox" : "listbox", id, index, w.c_str(), want, a.c_str());
            }
            i += cmd == "cbfirst" ? 2 : 3;
        } else if (cmd == "click") {
            ok = need_dialog() && click(std::atoi(arg(1)));
            i += 1;
        } else if (cmd == "gone") {
            ok = false;
            for (int k = 0; k < 30 && !ok; ++k) {
                ok = FindWindowA("#32770", g_title) == nullptr;
                if (!ok) Sleep(150);
            }
            std::printf("%s: dialog %s\n", ok ? "ok" : "FAIL", ok ? "closed" : "still open");
        } else if (cmd == "sleep") {
            Sleep(static_cast<DWORD>(std::atoi(arg(1))));
            i += 1;
        } else {
            std::printf("FAIL: unknown command %s\n", cmd.c_str());
            ok = false;
        }
        std::fflush(stdout);
        if (!ok) return 1;
    }
    return 0;
}
