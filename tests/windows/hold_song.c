/* hold_song: another program that has a song open, as a player or an editor has it, under
 * Wine (scripts/windows-test.sh builds it with MinGW-w64; it needs no Qt).
 *
 *   hold_song HOW PATH READY
 *       Opens PATH, creates the file READY, and keeps PATH open until READY is removed: the
 *       test goes on once READY is there, and lets go of the song by removing it. HOW is
 *       "unshared" (reading and writing, sharing nothing, as some players hold a song) or
 *       "writing" (writing, sharing reads and writes, as an editor that is saving). Exits 1
 *       when PATH cannot be opened.
 */
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 4) {
        fwprintf(stderr, L"usage: hold_song unshared|writing PATH READY\n");
        return 2;
    }
    const int unshared = wcscmp(argv[1], L"unshared") == 0;
    const DWORD access = unshared ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
    const DWORD sharing = unshared ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HANDLE song =
        CreateFileW(argv[2], access, sharing, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (song == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"hold_song: cannot open %ls (error %lu)\n", argv[2], GetLastError());
        return 1;
    }
    const HANDLE ready =
        CreateFileW(argv[3], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(ready);
    while (GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES)
        Sleep(20);
    CloseHandle(song);
    return 0;
}
