#include <windows.h>

#include "control/com_name_probe.h"

namespace {

// Asks the object manager for the name's DOS device; only whether it answers matters, the target
// path it writes is never read.
class DosDeviceProbe : public ComNameProbe {
protected:
    bool deviceExists(const char* name) override {
        static char target[5000];
        return QueryDosDeviceA(name, target, sizeof target) != 0;
    }
};

}  // namespace

PortProbe& systemPortProbe() {
    static DosDeviceProbe probe;
    return probe;
}
