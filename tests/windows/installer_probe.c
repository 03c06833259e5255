/* installer_probe: what a user sees of Kadenzo's installer, and as whom a program runs, under
 * Wine (scripts/windows-test.sh builds it with MinGW-w64; it needs no Qt).
 *
 *   installer_probe pages TITLE [CHOICE]
 *       Waits for the installer's window whose title is TITLE and goes through it as a user
 *       who accepts every page: prints each page's title, one a line, and presses "Avanti",
 *       "Installa" and "Fine" until the window closes. CHOICE "allusers" picks the second
 *       choice (all users) on the page that offers two. Exits 1 when the window does not come
 *       or a page does not move on.
 *   installer_probe started PROGRAM.exe TITLE
 *       Waits up to a minute for the installer's window TITLE and then for PROGRAM.exe to
 *       start, and prints how it runs: "limited" (an administrator's token without its
 *       rights, as Windows starts programs for an administrator), "full" (elevated),
 *       "default" (a standard user, or no UAC); then "installer" when the installer started
 *       it, or the name of the program that did (or "(ended)"). Exits 1 when PROGRAM.exe
 *       does not start.
 *   installer_probe elevation
 *       The same for this program: how Wine starts a program.
 */
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

enum { nextButton = 1, headerTitle = 1037, welcomeOrFinishTitle = 1201 };

static HWND installer(const wchar_t *title)
{
    return FindWindowW(L"#32770", title);
}

/* The text of a control, or "" when there is none or it is hidden. */
static void controlText(HWND parent, int id, wchar_t *text, int size)
{
    HWND control = GetDlgItem(parent, id);
    text[0] = 0;
    if (control && IsWindowVisible(control))
        GetWindowTextW(control, text, size);
}

/* A page's title: in the header for most pages, on the page itself for the first and last. */
static void pageTitle(HWND window, wchar_t *text, int size)
{
    controlText(window, headerTitle, text, size);
    if (text[0])
        return;
    HWND page = FindWindowExW(window, NULL, L"#32770", NULL);
    if (page)
        controlText(page, welcomeOrFinishTitle, text, size);
}

/* The second radio button on the current page, checked as a click would. */
static void chooseSecond(HWND window)
{
    HWND page = FindWindowExW(window, NULL, L"#32770", NULL);
    int seen = 0;
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32];
        GetClassNameW(child, className, 32);
        if (wcscmp(className, L"Button") != 0 ||
            (GetWindowLongW(child, GWL_STYLE) & 0xF) != BS_AUTORADIOBUTTON)
            continue;
        if (++seen == 2) {
            SendMessageW(child, BM_CLICK, 0, 0);
            return;
        }
    }
}

static int pages(const wchar_t *title, const wchar_t *choice)
{
    HWND window = NULL;
    for (int i = 0; i < 600 && !window; ++i, Sleep(100))
        window = installer(title);
    if (!window) {
        fprintf(stderr, "no installer window\n");
        return 1;
    }
    wchar_t shown[512] = L"";
    while (IsWindow(window)) {
        wchar_t current[512];
        /* A page that waits for the user keeps its title with "Avanti" enabled; the page of
         * the files moves on by itself once they are installed. */
        int waited = 0;
        int steady = 0;
        wchar_t last[512] = L"";
        for (;; Sleep(100), waited += 100) {
            if (!IsWindow(window))
                return 0;
            pageTitle(window, current, 512);
            HWND next = GetDlgItem(window, nextButton);
            const BOOL waiting =
                current[0] && wcscmp(current, shown) != 0 && next && IsWindowEnabled(next);
            steady = waiting && wcscmp(current, last) == 0 ? steady + 1 : 0;
            wcscpy(last, current);
            if (steady == 3)
                break;
            if (waited > 120000) {
                fwprintf(stderr, L"stuck after page: %ls\n", shown);
                return 1;
            }
        }
        wcscpy(shown, current);
        char utf8[1024];
        WideCharToMultiByte(CP_UTF8, 0, shown, -1, utf8, sizeof utf8, NULL, NULL);
        printf("%s\n", utf8);
        fflush(stdout);
        if (choice && wcscmp(choice, L"allusers") == 0)
            chooseSecond(window);
        Sleep(300); /* as a user would look before pressing */
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(nextButton, BN_CLICKED),
                     (LPARAM)GetDlgItem(window, nextButton));
    }
    return 0;
}

static const char *tokenType(HANDLE process)
{
    HANDLE token;
    TOKEN_ELEVATION_TYPE type;
    DWORD size;
    if (!process || !OpenProcessToken(process, TOKEN_QUERY, &token) ||
        !GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size))
        return "unknown";
    return type == TokenElevationTypeFull      ? "full"
           : type == TokenElevationTypeLimited ? "limited"
                                               : "default";
}

/* Prints the token of the process `id` and the name of its parent ("installer" when that is
 * `installerId`); returns 0 when there is no such process. */
static int describe(DWORD id, DWORD installerId)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {.dwSize = sizeof entry};
    DWORD parentId = 0;
    BOOL found = FALSE;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == id) {
            parentId = entry.th32ParentProcessID;
            found = TRUE;
        }
    }
    wchar_t parent[MAX_PATH] = L"(ended)";
    if (parentId == installerId)
        wcscpy(parent, L"installer");
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == parentId && parentId != installerId)
            wcscpy(parent, entry.szExeFile);
    }
    CloseHandle(snapshot);
    if (!found)
        return 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    char parentUtf8[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, parent, -1, parentUtf8, sizeof parentUtf8, NULL, NULL);
    printf("%s %s\n", tokenType(process), parentUtf8);
    return 1;
}

/* The id of the first process of that program, or 0. */
static DWORD findProcess(const wchar_t *program)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {.dwSize = sizeof entry};
    DWORD id = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !id;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, program) == 0)
            id = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return id;
}

static int started(const wchar_t *program, const wchar_t *title)
{
    HWND window = NULL;
    for (int i = 0; i < 600 && !window; ++i, Sleep(100))
        window = installer(title);
    DWORD installerId = 0;
    if (window)
        GetWindowThreadProcessId(window, &installerId);
    for (int i = 0; i < 12000; ++i, Sleep(5)) {
        DWORD id = findProcess(program);
        if (id && describe(id, installerId))
            return 0;
    }
    fwprintf(stderr, L"%ls did not start\n", program);
    return 1;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc >= 3 && wcscmp(argv[1], L"pages") == 0)
        return pages(argv[2], argc > 3 ? argv[3] : NULL);
    if (argc >= 4 && wcscmp(argv[1], L"started") == 0)
        return started(argv[2], argv[3]);
    if (argc >= 2 && wcscmp(argv[1], L"elevation") == 0)
        return describe(GetCurrentProcessId(), 0) ? 0 : 1;
    fprintf(stderr, "usage: installer_probe pages TITLE [allusers] | started PROGRAM.exe TITLE | "
                    "elevation\n");
    return 2;
}
