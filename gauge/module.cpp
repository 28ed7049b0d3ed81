// Module record, import table, gauge header and the routines through which
// the host drives the gauge. Each routine hands static records to the host's
// services in a fixed order and returns the last service's result.
#include <windows.h>

#include "gauge.h"

namespace {
const HostWord kModuleIdentifier = 0x13;
const HostWord kPanelServices = 0x0F;
const HostWord kHeaderVersion = 610;
const HostWord kDefaultSize = 126;
const char kGaugeName[] = "Dorvane_quadrant_levers";
}  // namespace

extern "C" {
ModuleRecord Linkage = {kModuleIdentifier, ModuleStart, ModuleStop, {0, 0, 0},
                        {&gGaugeHeader, nullptr}};

// The host stores its panel service table address in the first pair.
ImportEntry ImportTable[2] = {{kPanelServices, nullptr}, {0, nullptr}};
}

#if defined(__i386__)
static_assert(sizeof(ImportTable) == 16, "import table");
#endif

ElementHead* gGaugeElements[2] = {&gBackground.head, nullptr};

GaugeHeader gGaugeHeader = {kHeaderVersion, kGaugeName, gGaugeElements, QueryGauge,
                            InstallGauge, InitializeGauge, UpdateGauge, GenerateGauge,
                            DrawGauge, KillGauge, nullptr, kDefaultSize, {}};

VariableRecord gToken73 = {73, nullptr, 0, 0.0, {0, 0}};
VariableRecord gToken2 = {2, nullptr, 0, 0.0, {0, 0}};
VariableRecord gLever1Mode = {131, nullptr, 0, 0.0, {0, 0}};
VariableRecord gLever2Mode = {166, nullptr, 0, 0.0, {0, 0}};

extern "C" {
HostWord HOST_CALL ModuleStart() { return 0; }
HostWord HOST_CALL ModuleStop() { return 0; }

HostWord HOST_CALL QueryGauge() {
  return reinterpret_cast<ElementService>(HostService(kQueryElements))(
      gGaugeHeader.elementList[0]);
}

HostWord HOST_CALL InstallGauge(HostWord installParameter) {
  VariableService initializeVariable =
      reinterpret_cast<VariableService>(HostService(kInitializeVariable));
  initializeVariable(&gToken73);
  initializeVariable(&gToken2);
  // The host attaches the background's image record here; the mouse areas
  // below are installed against that image's width and height.
  reinterpret_cast<ElementWordService>(HostService(kInstallElements))(&gBackground.head,
                                                                      installParameter);
  reinterpret_cast<MouseInstallService>(HostService(kInstallMouseAreas))(
      gMouseList, &gGaugeHeader, &gBackground.image->width);
  return reinterpret_cast<MouseService>(HostService(kRegisterMouseAreas))(gMouseList,
                                                                          &gGaugeHeader);
}

HostWord HOST_CALL InitializeGauge() {
  return reinterpret_cast<ElementService>(HostService(kInitializeElements))(
      &gBackground.head);
}

HostWord HOST_CALL UpdateGauge() {
  VariableService lookUp = reinterpret_cast<VariableService>(HostService(kLookUpVariable));
  lookUp(&gLever1Mode);
  lookUp(&gLever2Mode);
  lookUp(&gToken73);
  lookUp(&gToken2);
  return reinterpret_cast<ElementService>(HostService(kUpdateElements))(&gBackground.head);
}

HostWord HOST_CALL GenerateGauge(HostWord phase) {
  return reinterpret_cast<ElementWordService>(HostService(kGenerateElements))(
      &gBackground.head, phase);
}

HostWord HOST_CALL DrawGauge() {
  return reinterpret_cast<ElementService>(HostService(kDrawElements))(&gBackground.head);
}

HostWord HOST_CALL KillGauge() {
  // Mouse areas go first so that no callback runs against killed elements.
  reinterpret_cast<MouseService>(HostService(kUnregisterMouseAreas))(gMouseList,
                                                                     &gGaugeHeader);
  return reinterpret_cast<ElementService>(HostService(kKillElements))(&gBackground.head);
}

// Loading and unloading need no work of the gauge's own.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
}
