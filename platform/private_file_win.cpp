// A file for the owner's eyes only, on Windows: written, then given an access list of its own
// that lets the user running the program (and no one else) at it, nothing inherited from the
// folder (which, beside the program, other users of the machine may read).
#include "platform/platform.h"

#include <aclapi.h>

// Sets the file's access list to its user alone; 0, or -1 when the system refused.
static int owner_only(const char *path) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return -1;
    union {
        TOKEN_USER user;
        char room[256];
    } info;
    DWORD len = 0;
    int result = -1;
    if (GetTokenInformation(token, TokenUser, &info, sizeof info, &len)) {
        EXPLICIT_ACCESSA access = {};
        access.grfAccessPermissions = GENERIC_ALL;
        access.grfAccessMode = SET_ACCESS;
        access.grfInheritance = NO_INHERITANCE;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_USER;
        access.Trustee.ptstrName = (LPSTR)info.user.User.Sid;
        PACL acl = NULL;
        if (SetEntriesInAclA(1, &access, NULL, &acl) == ERROR_SUCCESS) {
            if (SetNamedSecurityInfoA((LPSTR)path, SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION |
                                          PROTECTED_DACL_SECURITY_INFORMATION,
                                      NULL, NULL, acl, NULL) == ERROR_SUCCESS)
                result = 0;
            LocalFree(acl);
        }
    }
    CloseHandle(token);
    return result;
}

FILE *platform_private_file(const char *path) {
    FILE *f = fopen(path, "w");
    if (f)
        owner_only(path); // where the file system keeps no access lists, the file stays as is
    return f;
}
