/* Built as C so that the module headers stay usable from C. */
#include "arc_module.h"
#include "unlha32.h"
#include "unzip32.h"
#include "zip32j.h"

/* Every operation's declaration matches the type the program resolves it as. */
static const ArcCommandFn commands[] = {Unlha, Zip, UnZip};
static const ArcRunningFn running[] = {UnlhaGetRunning, ZipGetRunning, UnZipGetRunning};
static const ArcVersionFn versions[] = {UnlhaGetVersion, ZipGetVersion, UnZipGetVersion};
static const ArcSetProgressFn hooks[] = {UnlhaSetProgress, ZipSetProgress, UnZipSetProgress};

int arcHeadersAsCCount(void) {
    return (int)(sizeof commands / sizeof *commands + sizeof running / sizeof *running +
                 sizeof versions / sizeof *versions + sizeof hooks / sizeof *hooks);
}
