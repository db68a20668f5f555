// A file for the owner's eyes only, on Windows: the program's folder (under the user's own
// profile or set up by the user) decides who may read it; it is written as any other file.
#include "platform/platform.h"

FILE *platform_private_file(const char *path) {
    return fopen(path, "w");
}
