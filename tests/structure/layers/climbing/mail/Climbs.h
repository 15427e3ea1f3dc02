// A subsystem file that climbs to the top floor through the public include root.
#include <app/MainForm.h>
#include <sys/stat.h>
