#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/port_discovery.h"
#include "tools/virtual_dimmer/virtual_dimmer.h"

// What the panel benchmarks stand on: a virtual dimmer published in a port directory of their own
// ($LUMENTA_PORT_DIR points at it, so the port opens by its bare name), and a port list that shows
// exactly that port. The directory goes with the rig.
class DimmerRig {
public:
    static constexpr const char* kPortName = "dimmer0";

    explicit DimmerRig(const char* purpose)
        : dir_(std::filesystem::temp_directory_path() /
               ("lumenta-" + std::string(purpose) + "-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(dir_);
        setenv("LUMENTA_PORT_DIR", dir_.c_str(), 1);
        std::string error;
        dimmer_ = VirtualDimmer::start(dir_.string(), kPortName, error);
        if (!dimmer_) {
            std::fprintf(stderr, "cannot start the virtual dimmer: %s\n", error.c_str());
        }
    }
    ~DimmerRig() {
        dimmer_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    DimmerRig(const DimmerRig&) = delete;
    DimmerRig& operator=(const DimmerRig&) = delete;

    // Null when the dimmer could not start (the reason has been printed).
    VirtualDimmer* dimmer() { return dimmer_.get(); }
    PortProbe& probe() { return probe_; }

private:
    class OnePortProbe : public PortProbe {
    public:
        std::vector<std::string> presentPortNames() override { return {kPortName}; }
    };

    std::filesystem::path dir_;
    std::unique_ptr<VirtualDimmer> dimmer_;
    OnePortProbe probe_;
};
