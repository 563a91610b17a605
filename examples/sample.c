/*
 * phonebk.c -- a small Presentation Manager phone book.
 *
 * The client window shows the entries of a list box; the "Edit" dialog
 * changes one entry; a timer saves the book every minute.  Written for
 * OS/2 2.x, compiled with the Toolkit headers.
 */

#define INCL_WIN
#define INCL_DOS
#include <os2.h>
#include <stdio.h>
#include <string.h>

#include "phonebk.h"
#include "dbgtrace.h"

#define ID_TIMER_SAVE     1
#define SAVE_INTERVAL     60000L
#define CCH_NAME          64
#define CCH_NUMBER        32
#define MAX_ENTRIES       500

typedef struct _ENTRY {
    CHAR szName[CCH_NAME];
    CHAR szNumber[CCH_NUMBER];
} ENTRY, *PENTRY;

static HAB    hab;
static HWND   hwndFrame;
static HWND   hwndClient;
static HWND   hwndList;
static ENTRY  aEntries[MAX_ENTRIES];
static ULONG  cEntries;
static BOOL   fDirty;
static CHAR   szClientClass[] = "PhoneBook";

MRESULT EXPENTRY ClientWndProc(HWND hwnd, ULONG msg, MPARAM mp1, MPARAM mp2);
MRESULT EXPENTRY EditDlgProc(HWND hwnd, ULONG msg, MPARAM mp1, MPARAM mp2);

static BOOL LoadBook(PCSZ pszFile);
static BOOL SaveBook(PCSZ pszFile);
static VOID FillList(HWND hwndLB);
static VOID Complain(HWND hwndOwner, PCSZ pszText);

/* ------------------------------------------------------------------------ */

static VOID Complain(HWND hwndOwner, PCSZ pszText)
{
    DosBeep(880, 100);
    WinMessageBox(HWND_DESKTOP, hwndOwner, (PSZ)pszText, "Phone book",
                  0,    // no help panel: there's none for errors
                  MB_OK | MB_ERROR | MB_MOVEABLE);
}

static BOOL LoadBook(PCSZ pszFile)
{
    FILE *fp;
    CHAR  szLine[CCH_NAME + CCH_NUMBER + 4];

    cEntries = 0;
    fp = fopen(pszFile, "r");
    if (fp == NULL) {
        DbgTrace(("LoadBook: %s not found, starting empty\n", pszFile));
        return TRUE;
    }
    while (cEntries < MAX_ENTRIES && fgets(szLine, sizeof szLine, fp) != NULL) {
        PSZ pszTab = strchr(szLine, '\t');
        if (pszTab == NULL)
            continue;
        *pszTab++ = '\0';
        pszTab[strcspn(pszTab, "\r\n")] = '\0';
        strncpy(aEntries[cEntries].szName, szLine, CCH_NAME - 1);
        strncpy(aEntries[cEntries].szNumber, pszTab, CCH_NUMBER - 1);
        cEntries++;
    }
    fclose(fp);
    DbgTrace(("LoadBook: %lu entries\n", cEntries));
    return TRUE;
}

static BOOL SaveBook(PCSZ pszFile)
{
    FILE *fp;
    ULONG i;

    fp = fopen(pszFile, "w");
    if (fp == NULL)
        return FALSE;
    for (i = 0; i < cEntries; i++)
        fprintf(fp, "%s\t%s\n", aEntries[i].szName, aEntries[i].szNumber);
    fclose(fp);
    fDirty = FALSE;
    return TRUE;
}

static VOID FillList(HWND hwndLB)
{
    ULONG i;
    CHAR  szItem[CCH_NAME + CCH_NUMBER + 4];

    WinSendMsg(hwndLB, LM_DELETEALL, 0, 0);
    for (i = 0; i < cEntries; i++) {
        sprintf(szItem, "%s\t%s", aEntries[i].szName, aEntries[i].szNumber);
        WinSendMsg(hwndLB, LM_INSERTITEM,
                   MPFROMSHORT(LIT_SORTASCENDING), MPFROMP(szItem));
    }
}

/* ------------------------------------------------------------------------ */

int main(int argc, char *argv[])
{
    HMQ   hmq;
    QMSG  qmsg;
    ULONG flCreate = FCF_STANDARD & ~FCF_SHELLPOSITION;
    PCSZ  pszFile = argc > 1 ? argv[1] : "phonebk.dat";

    hab = WinInitialize(0);
    hmq = WinCreateMsgQueue(hab, 0);

    if (!WinRegisterClass(hab, szClientClass, ClientWndProc,
                          CS_SIZEREDRAW, sizeof(PVOID))) {
        DosBeep(440, 300);
        return 1;
    }

    hwndFrame = WinCreateStdWindow(HWND_DESKTOP, WS_VISIBLE, &flCreate,
                                   szClientClass, "Phone book", 0,
                                   NULLHANDLE, ID_MAINWND, &hwndClient);
    if (hwndFrame == NULLHANDLE) {
        printf("frame window not created, error %lx\n", WinGetLastError(hab));
        return 1;
    }
    WinShowWindow(hwndFrame, TRUE);

    if (!LoadBook(pszFile))
        Complain(hwndFrame, "The phone book could not be read.");
    FillList(hwndList);

    WinStartTimer(hab, hwndClient, ID_TIMER_SAVE, SAVE_INTERVAL);

    while (WinGetMsg(hab, &qmsg, NULLHANDLE, 0, 0))
        WinDispatchMsg(hab, &qmsg);

    WinStopTimer(hab, hwndClient, ID_TIMER_SAVE);
    if (fDirty && !SaveBook(pszFile))
        DosBeep(440, 300);

    WinDestroyWindow(hwndFrame);
    WinDestroyMsgQueue(hmq);
    WinTerminate(hab);
    return 0;
}

/* ------------------------------------------------------------------------ */

MRESULT EXPENTRY ClientWndProc(HWND hwnd, ULONG msg, MPARAM mp1, MPARAM mp2)
{
    switch (msg) {
    case WM_CREATE:
        hwndList = WinCreateWindow(hwnd, WC_LISTBOX, "", WS_VISIBLE | LS_NOADJUSTPOS,
                                   0, 0, 0, 0, hwnd, HWND_TOP, ID_LIST, NULL, NULL);
        DbgTrace(("WM_CREATE: list box %lx\n", hwndList));
        return 0;

    case WM_SIZE:
        WinSetWindowPos(hwndList, NULLHANDLE, 0, 0,
                        SHORT1FROMMP(mp2), SHORT2FROMMP(mp2), SWP_SIZE | SWP_MOVE);
        return 0;

    case WM_TIMER:
        if (SHORT1FROMMP(mp1) == ID_TIMER_SAVE && fDirty) {
            DbgTrace(("WM_TIMER: saving\n"));
            if (!SaveBook("phonebk.dat"))
                WinPostMsg(hwnd, WM_USER_SAVEFAILED, 0, 0);
        }
        return 0;

    case WM_USER_SAVEFAILED:
        WinStopTimer(hab, hwnd, ID_TIMER_SAVE);
        Complain(hwnd, "Saving failed; the timer is stopped.");
        return 0;

    case WM_COMMAND:
        switch (SHORT1FROMMP(mp1)) {
        case IDM_EDIT:
            if (WinDlgBox(HWND_DESKTOP, hwnd, EditDlgProc, NULLHANDLE, IDD_EDIT,
                          NULL) == DID_OK) {
                FillList(hwndList);
                WinInvalidateRect(hwnd, NULL, TRUE);
            }
            return 0;

        case IDM_CLEAR:
            cEntries = 0;
            fDirty = TRUE;
            WinSendMsg(hwndList, LM_DELETEALL, 0, 0);
            return 0;

        case IDM_REFRESH:
            FillList(hwndList);
            return 0;

        case IDM_EXIT:
            WinPostMsg(hwnd, WM_CLOSE, 0, 0);
            return 0;
        }
        break;

    case WM_CHAR:
        if ((SHORT1FROMMP(mp1) & KC_VIRTUALKEY) && SHORT2FROMMP(mp2) == VK_F5) {
            /* F5 reloads the list, like the menu item */
            WinPostMsg(hwnd, WM_COMMAND,
                       MPFROMSHORT(IDM_REFRESH), MPFROM2SHORT(CMDSRC_MENU, FALSE));
            return (MRESULT)TRUE;
        }
        break;

    case WM_CLOSE:
        if (fDirty) {
            DbgTrace(("WM_CLOSE: %lu unsaved entries\n", cEntries));
            DosSleep(100);
        }
        WinDestroyWindow(WinQueryWindow(hwnd, QW_PARENT));
        return 0;
    }
    return WinDefWindowProc(hwnd, msg, mp1, mp2);
}

/* ------------------------------------------------------------------------ */

MRESULT EXPENTRY EditDlgProc(HWND hwnd, ULONG msg, MPARAM mp1, MPARAM mp2)
{
    static SHORT iItem;
    CHAR szName[CCH_NAME];
    CHAR szNumber[CCH_NUMBER];

    switch (msg) {
    case WM_INITDLG:
        iItem = SHORT1FROMMR(WinSendMsg(hwndList, LM_QUERYSELECTION,
                                        MPFROMSHORT(LIT_FIRST), 0));
        if (iItem == LIT_NONE) {
            WinSetDlgItemText(hwnd, IDC_NAME, "");
            WinSetDlgItemText(hwnd, IDC_NUMBER, "");
        } else {
            WinSetDlgItemText(hwnd, IDC_NAME, aEntries[iItem].szName);
            WinSetDlgItemText(hwnd, IDC_NUMBER, aEntries[iItem].szNumber);
        }
        WinSendDlgItemMsg(hwnd, IDC_NAME, EM_SETTEXTLIMIT,
                          MPFROMSHORT(CCH_NAME - 1), 0);
        WinSendDlgItemMsg(hwnd, IDC_NUMBER, EM_SETTEXTLIMIT,
                          MPFROMSHORT(CCH_NUMBER - 1), 0);
        return 0;

    case WM_CONTROL:
        if (SHORT1FROMMP(mp1) == IDC_NUMBER && SHORT2FROMMP(mp1) == EN_CHANGE)
            WinSendMsg(WinWindowFromID(hwnd, DID_OK), BM_SETDEFAULT,
                       MPFROMSHORT(TRUE), 0);
        return 0;

    case WM_COMMAND:
        switch (SHORT1FROMMP(mp1)) {
        case DID_OK:
            WinQueryDlgItemText(hwnd, IDC_NAME, sizeof szName, szName);
            WinQueryDlgItemText(hwnd, IDC_NUMBER, sizeof szNumber, szNumber);
            if (szName[0] == '\0') {
                Complain(hwnd, "An entry needs a name.");
                WinSendDlgItemMsg(hwnd, IDC_NAME, EM_SETSEL,
                                  MPFROM2SHORT(0, CCH_NAME), 0);
                return 0;
            }
            if (iItem == LIT_NONE) {
                if (cEntries == MAX_ENTRIES) {
                    Complain(hwnd, "The phone book is full.");
                    return 0;
                }
                iItem = (SHORT)cEntries++;
            }
            strcpy(aEntries[iItem].szName, szName);
            strcpy(aEntries[iItem].szNumber, szNumber);
            fDirty = TRUE;
            DbgTrace(("EditDlgProc: entry %d is now %s\n", iItem, szName));
            WinDismissDlg(hwnd, DID_OK);
            return 0;

        case DID_CANCEL:
            WinDismissDlg(hwnd, DID_CANCEL);
            return 0;
        }
        return 0;
    }
    return WinDefDlgProc(hwnd, msg, mp1, mp2);
}
