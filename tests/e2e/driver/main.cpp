// quorvex-e2e SCENARIO PATH\TO\Quorvex.exe WORK_FOLDER [SAMPLES_FOLDER]
// Prints one PASS or FAIL line per check; exits 1 when any check failed.
#include <cstdio>
#include <cstring>

#include "e2e.h"

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && std::strcmp(argv[1], "samples") == 0)) {
    std::fprintf(
        stderr,
        "usage: quorvex-e2e start|checks|cancel|rename|about|closing|names|resources EXE WORK\n"
        "       quorvex-e2e samples EXE WORK SAMPLES\n");
    return 2;
  }
  const char* scenario = argv[1];
  const std::string exe = argv[2];
  const std::string work = argv[3];
  int failed = 0;
  if (std::strcmp(scenario, "start") == 0) {
    failed = e2e::RunStart(exe, work);
  } else if (std::strcmp(scenario, "checks") == 0) {
    failed = e2e::RunChecks(exe, work);
  } else if (std::strcmp(scenario, "cancel") == 0) {
    failed = e2e::RunCancel(exe, work);
  } else if (std::strcmp(scenario, "rename") == 0) {
    failed = e2e::RunRename(exe, work);
  } else if (std::strcmp(scenario, "about") == 0) {
    failed = e2e::RunAbout(exe, work);
  } else if (std::strcmp(scenario, "closing") == 0) {
    failed = e2e::RunClosing(exe, work);
  } else if (std::strcmp(scenario, "samples") == 0) {
    failed = e2e::RunSamples(exe, argv[4], work);
  } else if (std::strcmp(scenario, "names") == 0) {
    failed = e2e::RunNames(exe, work);
  } else if (std::strcmp(scenario, "resources") == 0) {
    failed = e2e::RunResources(exe);
  } else {
    std::fprintf(stderr, "unknown scenario %s\n", scenario);
    return 2;
  }
  return failed == 0 ? 0 : 1;
}
