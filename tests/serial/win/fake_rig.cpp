#include "fake_rig.h"

INSTANTIATE_TEST_SUITE_P(Win, PortContractTest,
                         ::testing::Values(RigMaker{"Fake", [] { return std::make_unique<FakeRig>(); }},
                                           RigMaker{"FakeWaitsFail",
                                                    [] { return std::make_unique<FakeRig>(true); }}),
                         rigName);
