// The throttle-quadrant gauge: its records, routines and callbacks.
#pragma once
#include "records.h"

extern "C" {
// The two exported records.
extern ModuleRecord Linkage;
extern ImportEntry ImportTable[2];

// Module routines and gauge routines (reached through Linkage and the header).
HostWord HOST_CALL ModuleStart();
HostWord HOST_CALL ModuleStop();
HostWord HOST_CALL QueryGauge();
HostWord HOST_CALL InstallGauge(HostWord installParameter);
HostWord HOST_CALL InitializeGauge();
HostWord HOST_CALL UpdateGauge();
HostWord HOST_CALL GenerateGauge(HostWord phase);
HostWord HOST_CALL DrawGauge();
HostWord HOST_CALL KillGauge();

// Callbacks named by the element and mouse records.
HostWord HOST_CALL DragLever1(MousePoint* point, HostWord mouseFlags);
HostWord HOST_CALL DragLever2(MousePoint* point, HostWord mouseFlags);
double HOST_CALL GripPosition1(VariableRecord* source);
double HOST_CALL GripPosition2(VariableRecord* source);
double HOST_CALL FollowerPosition1(VariableRecord* source);
double HOST_CALL FollowerPosition2(VariableRecord* source);
}

// Static records (program-wide, written by the host only in host-owned fields).
extern GaugeHeader gGaugeHeader;
extern ElementHead* gGaugeElements[2];
extern StaticImageElement gBackground;
extern MouseArea gMouseList[7];
extern VariableRecord gToken73;       // margin, first term
extern VariableRecord gToken2;        // margin, second term (divided by 256)
extern VariableRecord gLever1Mode;    // token 131
extern VariableRecord gLever2Mode;    // token 166

// Lever set events sent by the mouse callbacks.
enum : HostWord {
  kLever1SetEvent = 65820,
  kLever2SetEvent = 65821,
  kLeverFull = 16383,
};

// The host's service routine at a byte offset of its panel service table.
inline void* HostService(unsigned byteOffset) {
  return ImportTable[0].table[byteOffset / kServiceEntrySize];
}
