// Records shared with the panel host, laid out as the host reads them:
// 32-bit little-endian words, pointers, 8-byte floats, 4-byte alignment.
// The i686 build is the shipped one and has the host's layout byte for byte;
// the x86_64 build uses the same sources with native pointers (tests only).
#pragma once
#include <stddef.h>
#include <stdint.h>

#if defined(__i386__)
#define HOST_CALL __attribute__((stdcall))
#else
#define HOST_CALL
#endif

typedef uint32_t HostWord;

#pragma pack(push, 4)

// One simulator value, named by its token; the host writes value.
struct VariableRecord {
  HostWord token;
  void* hostPointer;
  HostWord hostWord;
  double value;
  HostWord hostTail[2];
};

struct GaugeHeader;
struct ElementHead;
struct MousePoint {
  int32_t x;
  int32_t y;
};

typedef HostWord(HOST_CALL* PlainRoutine)();
typedef HostWord(HOST_CALL* WordRoutine)(HostWord word);
typedef double(HOST_CALL* PositionCallback)(VariableRecord* source);
typedef HostWord(HOST_CALL* MouseCallback)(MousePoint* point, HostWord mouseFlags);

// Common head of every element record.
struct ElementHead {
  HostWord kind;
  HostWord bitmapId;
  int32_t x;
  int32_t y;
  HostWord hostWords[4];
  GaugeHeader* header;
  void* hostPointer;
  ElementHead** nextList;
  void* unused;
  HostWord drawingFlags;
  HostWord reserved[2];
};

// The record the host makes for an element's bitmap; only its width and
// height words are read here.
struct ImageRecord {
  HostWord hostWord;
  HostWord width;
  HostWord height;
};

struct StaticImageElement {
  ElementHead head;
  ImageRecord* image;
  HostWord hostWords[4];
};

struct Axis {
  VariableRecord source;
  PositionCallback position;
  double scale;
  HostWord hostWord;
};

struct SliderElement {
  ElementHead head;
  Axis xAxis;
  Axis yAxis;
  HostWord hostWords[5];
};

struct MouseArea {
  HostWord kind;
  int32_t boxX;
  int32_t boxY;
  int32_t boxWidth;
  int32_t boxHeight;
  int32_t cursor;
  HostWord helpId;
  HostWord mouseFlags;
  HostWord eventId;
  MouseCallback callback;
  HostWord reserved;
};

struct GaugeHeader {
  HostWord version;
  const char* name;
  ElementHead** elementList;
  PlainRoutine query;
  WordRoutine install;
  PlainRoutine initialize;
  PlainRoutine update;
  WordRoutine generate;
  PlainRoutine draw;
  PlainRoutine kill;
  void* unused;
  HostWord defaultSize;
  HostWord hostWords[10];
};

struct ModuleRecord {
  HostWord identifier;
  PlainRoutine start;
  PlainRoutine stop;
  HostWord reserved[3];
  GaugeHeader* gauges[2];
};

struct ImportEntry {
  HostWord identifier;
  void* const* table;
};

#pragma pack(pop)

enum : HostWord {
  kElementStaticImage = 0,
  kElementSlider = 3,
  kMouseGroupBegin = 1,
  kMouseArea = 2,
  kMouseGroupEnd = 3,
  kMouseEnd = 0,
};

// Entries of the host's panel service table, by byte offset in the host's
// 32-bit table; the entry index is the offset divided by 4.
enum : unsigned {
  kQueryElements = 96,
  kInstallElements = 100,
  kInitializeElements = 104,
  kUpdateElements = 108,
  kGenerateElements = 112,
  kDrawElements = 116,
  kKillElements = 124,
  kInstallMouseAreas = 128,
  kRegisterMouseAreas = 132,
  kUnregisterMouseAreas = 136,
  kSendKeyEvent = 144,
  kInitializeVariable = 152,
  kLookUpVariable = 160,
  kServiceEntrySize = 4,
};

typedef HostWord(HOST_CALL* ElementService)(ElementHead* element);
typedef HostWord(HOST_CALL* ElementWordService)(ElementHead* element, HostWord word);
typedef HostWord(HOST_CALL* MouseService)(MouseArea* list, GaugeHeader* header);
typedef HostWord(HOST_CALL* MouseInstallService)(MouseArea* list, GaugeHeader* header,
                                                 HostWord* widthHeight);
typedef HostWord(HOST_CALL* KeyEventService)(HostWord eventId, HostWord value);
typedef HostWord(HOST_CALL* VariableService)(VariableRecord* variable);

#if defined(__i386__)
static_assert(sizeof(void*) == 4, "32-bit host layout");
static_assert(sizeof(VariableRecord) == 28, "variable record");
static_assert(offsetof(VariableRecord, token) == 0, "variable token");
static_assert(offsetof(VariableRecord, hostPointer) == 4, "variable pointer");
static_assert(offsetof(VariableRecord, hostWord) == 8, "variable word");
static_assert(offsetof(VariableRecord, value) == 12, "variable value");
static_assert(offsetof(VariableRecord, hostTail) == 20, "variable tail");

static_assert(sizeof(ElementHead) == 60, "element head");
static_assert(offsetof(ElementHead, kind) == 0, "element kind");
static_assert(offsetof(ElementHead, bitmapId) == 4, "element bitmap");
static_assert(offsetof(ElementHead, x) == 8, "element x");
static_assert(offsetof(ElementHead, y) == 12, "element y");
static_assert(offsetof(ElementHead, hostWords) == 16, "element host words");
static_assert(offsetof(ElementHead, header) == 32, "element header");
static_assert(offsetof(ElementHead, hostPointer) == 36, "element host pointer");
static_assert(offsetof(ElementHead, nextList) == 40, "element next list");
static_assert(offsetof(ElementHead, unused) == 44, "element null pointer");
static_assert(offsetof(ElementHead, drawingFlags) == 48, "element flags");
static_assert(offsetof(ElementHead, reserved) == 52, "element words");

static_assert(sizeof(StaticImageElement) == 80, "static image element");
static_assert(offsetof(StaticImageElement, image) == 60, "image record pointer");
static_assert(offsetof(StaticImageElement, hostWords) == 64, "image host words");
static_assert(offsetof(ImageRecord, width) == 4, "image width");
static_assert(offsetof(ImageRecord, height) == 8, "image height");

static_assert(sizeof(Axis) == 44, "axis");
static_assert(offsetof(Axis, source) == 0, "axis source");
static_assert(offsetof(Axis, position) == 28, "axis callback");
static_assert(offsetof(Axis, scale) == 32, "axis scale");
static_assert(offsetof(Axis, hostWord) == 40, "axis host word");

static_assert(sizeof(SliderElement) == 168, "slider element");
static_assert(offsetof(SliderElement, xAxis) == 60, "slider x axis");
static_assert(offsetof(SliderElement, yAxis) == 104, "slider y axis");
static_assert(offsetof(SliderElement, hostWords) == 148, "slider host words");

static_assert(sizeof(MouseArea) == 44, "mouse area");
static_assert(offsetof(MouseArea, kind) == 0, "mouse kind");
static_assert(offsetof(MouseArea, boxX) == 4, "mouse box x");
static_assert(offsetof(MouseArea, boxY) == 8, "mouse box y");
static_assert(offsetof(MouseArea, boxWidth) == 12, "mouse box width");
static_assert(offsetof(MouseArea, boxHeight) == 16, "mouse box height");
static_assert(offsetof(MouseArea, cursor) == 20, "mouse cursor");
static_assert(offsetof(MouseArea, helpId) == 24, "mouse help id");
static_assert(offsetof(MouseArea, mouseFlags) == 28, "mouse flags");
static_assert(offsetof(MouseArea, eventId) == 32, "mouse event");
static_assert(offsetof(MouseArea, callback) == 36, "mouse callback");
static_assert(offsetof(MouseArea, reserved) == 40, "mouse word");

static_assert(sizeof(GaugeHeader) == 88, "gauge header");
static_assert(offsetof(GaugeHeader, version) == 0, "header version");
static_assert(offsetof(GaugeHeader, name) == 4, "header name");
static_assert(offsetof(GaugeHeader, elementList) == 8, "header element list");
static_assert(offsetof(GaugeHeader, query) == 12, "header query");
static_assert(offsetof(GaugeHeader, install) == 16, "header install");
static_assert(offsetof(GaugeHeader, initialize) == 20, "header initialise");
static_assert(offsetof(GaugeHeader, update) == 24, "header update");
static_assert(offsetof(GaugeHeader, generate) == 28, "header generate");
static_assert(offsetof(GaugeHeader, draw) == 32, "header draw");
static_assert(offsetof(GaugeHeader, kill) == 36, "header kill");
static_assert(offsetof(GaugeHeader, unused) == 40, "header null pointer");
static_assert(offsetof(GaugeHeader, defaultSize) == 44, "header default size");
static_assert(offsetof(GaugeHeader, hostWords) == 48, "header host words");

static_assert(sizeof(ModuleRecord) == 32, "module record");
static_assert(offsetof(ModuleRecord, identifier) == 0, "module identifier");
static_assert(offsetof(ModuleRecord, start) == 4, "module start");
static_assert(offsetof(ModuleRecord, stop) == 8, "module stop");
static_assert(offsetof(ModuleRecord, reserved) == 12, "module words");
static_assert(offsetof(ModuleRecord, gauges) == 24, "module gauge list");

static_assert(sizeof(ImportEntry) == 8, "import entry");
static_assert(offsetof(ImportEntry, table) == 4, "import pointer");
#endif
