// The quadrant's element tree, mouse list and callbacks: the mouse callbacks
// turn a pointer height into a lever setting; the position callbacks reshape
// an engine lever's value before the host places its grip or follower.
#include "gauge.h"

namespace {
const HostWord kDrawingFlags = 3;
const HostWord kCursorNone = 0xFFFFFFFFu;  // -1
const HostWord kLeverAreaFlags = 0x00800000;
const HostWord kFlapAreaFlags = 0x20000000;
const HostWord kQuadrantHelp = 42024;
const HostWord kUpperFlapEvent = 65759;
const HostWord kLowerFlapEvent = 65758;

// Simulator values that move the sliders.
const HostWord kLever1Value = 128;
const HostWord kLever2Value = 163;
const HostWord kFlapValue = 328;
const HostWord kIndicatorValue = 319;

const double kReverseStretch = 1.6;
const double kFollowerIdle = -8000.0;
const double kFollowerHeld = 16000.0;
const double kGripRaise = 8000.0;
const double kMarginReached = 3.0;
const double kMarginDivisor = 256.0;
}  // namespace

extern SliderElement gLever2Follower, gLever1Follower, gLever2Grip, gFlapHandle,
    gIndicator, gLever1Grip;

static ElementHead* gBackgroundNext[] = {&gLever2Follower.head, nullptr};
static ElementHead* gLever2FollowerNext[] = {&gLever1Follower.head, nullptr};
static ElementHead* gLever1FollowerNext[] = {&gLever2Grip.head, nullptr};
static ElementHead* gLever2GripNext[] = {&gFlapHandle.head, &gIndicator.head,
                                         &gLever1Grip.head, nullptr};

#define ELEMENT_HEAD(kind, bitmap, x, y, next) \
  {kind, bitmap, x, y, {0, 0, 0, 0}, &gGaugeHeader, nullptr, next, nullptr, kDrawingFlags, {0, 0}}
#define AXIS(token, callback, scale) {{token, nullptr, 0, 0.0, {0, 0}}, callback, scale, 0}

StaticImageElement gBackground = {ELEMENT_HEAD(kElementStaticImage, 100, 0, 0, gBackgroundNext),
                                  nullptr, {0, 0, 0, 0}};

SliderElement gLever2Follower = {
    ELEMENT_HEAD(kElementSlider, 400, 225, 43, gLever2FollowerNext),
    AXIS(kLever2Value, FollowerPosition2, -15.0 / 16384),
    AXIS(kLever2Value, FollowerPosition2, -40.0 / 16384), {}};

SliderElement gLever1Follower = {
    ELEMENT_HEAD(kElementSlider, 400, 190, 43, gLever1FollowerNext),
    AXIS(kLever1Value, FollowerPosition1, -15.0 / 16384),
    AXIS(kLever1Value, FollowerPosition1, -40.0 / 16384), {}};

SliderElement gLever2Grip = {
    ELEMENT_HEAD(kElementSlider, 300, 118, 80, gLever2GripNext),
    AXIS(kLever2Value, nullptr, -11.0 / 16384),
    AXIS(kLever2Value, GripPosition2, -80.0 / 16384), {}};

SliderElement gFlapHandle = {
    ELEMENT_HEAD(kElementSlider, 600, 260, 55, nullptr),
    AXIS(kFlapValue, nullptr, 35.0 / 16384),
    AXIS(kFlapValue, nullptr, 60.0 / 16384), {}};

SliderElement gIndicator = {
    ELEMENT_HEAD(kElementSlider, 500, 50, 81, nullptr),
    AXIS(0, nullptr, 0.0),
    AXIS(kIndicatorValue, nullptr, 77.0 / 32768), {}};

SliderElement gLever1Grip = {
    ELEMENT_HEAD(kElementSlider, 200, 69, 80, nullptr),
    AXIS(kLever1Value, nullptr, -11.0 / 16384),
    AXIS(kLever1Value, GripPosition1, -80.0 / 16384), {}};

#define MOUSE(kind, x, y, w, h, cursor, help, flags, event, callback) \
  {kind, x, y, w, h, static_cast<int32_t>(cursor), help, flags, event, callback, 0}

MouseArea gMouseList[7] = {
    MOUSE(kMouseGroupBegin, 0, 0, 0, 0, kCursorNone, kQuadrantHelp, 0, 0, nullptr),
    MOUSE(kMouseArea, 68, 1, 48, 150, 5, 0, kLeverAreaFlags, 0, DragLever1),
    MOUSE(kMouseArea, 118, 1, 55, 150, 5, 0, kLeverAreaFlags, 0, DragLever2),
    MOUSE(kMouseArea, 255, 30, 80, 50, 1, 0, kFlapAreaFlags, kUpperFlapEvent, nullptr),
    MOUSE(kMouseArea, 255, 90, 80, 63, 2, 0, kFlapAreaFlags, kLowerFlapEvent, nullptr),
    MOUSE(kMouseGroupEnd, 0, 0, 0, 0, kCursorNone, 0, 0, 0, nullptr),
    MOUSE(kMouseEnd, 0, 0, 0, 0, kCursorNone, 0, 0, 0, nullptr),
};

// The top of the background is the full setting; the setting falls linearly
// to 0 a third of the way down. The product is formed in 64 bits and the
// quotient clamped before it is truncated, so no point, however far outside
// the area, can overflow into the wrong end of the range.
static HostWord SendLeverSetting(HostWord eventId, const MousePoint* point) {
  int64_t height = static_cast<int32_t>(gBackground.image->height);
  int64_t n = (height - 3 * static_cast<int64_t>(point->y)) * kLeverFull;
  double quotient = static_cast<double>(n) / static_cast<double>(height);
  int32_t setting;
  if (quotient >= kLeverFull)
    setting = kLeverFull;
  else if (quotient <= 0.0)
    setting = 0;
  else
    setting = static_cast<int32_t>(quotient);  // toward zero
  reinterpret_cast<KeyEventService>(HostService(kSendKeyEvent))(
      eventId, static_cast<HostWord>(setting));
  return 0;
}

// Margin between the two module values; at 3 or more the levers run in
// their upper range. Every intermediate is a named double so that the i686
// build (-ffloat-store) rounds it to double whatever the x87 precision.
static double Margin() {
  double margin = gToken73.value - gToken2.value / kMarginDivisor;
  return margin;
}

static double GripPosition(double v, double mode) {
  if (mode == 0.0) return v;  // negative zero included
  double result;
  if (v < 0.0)
    result = v * kReverseStretch;
  else if (Margin() >= kMarginReached)
    result = v / 2 + kGripRaise;
  else
    result = v / 2;
  return result;
}

static double FollowerPosition(double v, double mode) {
  if (mode == 0.0) return kFollowerIdle;
  if (Margin() < kMarginReached) return kFollowerHeld;
  if (v < 0.0) return kFollowerHeld;
  return v;
}

#if defined(__i386__)
// The host may leave the x87 unit at single precision or another rounding
// mode (graphics libraries commonly do). The lever arithmetic is double
// precision, rounded to nearest: each callback sets that for its own work and
// gives the host its setting back.
typedef unsigned short FpuControl;
constexpr FpuControl kPrecisionAndRounding = 0x0F00;  // precision bits 8-9, rounding 10-11
constexpr FpuControl kDoubleToNearest = 0x0200;

static FpuControl UseDoublePrecision() {
  FpuControl saved;
  __asm__ __volatile__("fnstcw %0" : "=m"(saved) : : "memory");
  FpuControl wanted = static_cast<FpuControl>((saved & ~kPrecisionAndRounding) | kDoubleToNearest);
  __asm__ __volatile__("fldcw %0" : : "m"(wanted) : "memory");
  return saved;
}

static void RestorePrecision(FpuControl saved) {
  __asm__ __volatile__("fldcw %0" : : "m"(saved) : "memory");
}
#else
// SSE arithmetic is double precision whatever the host sets.
typedef int FpuControl;
static FpuControl UseDoublePrecision() { return 0; }
static void RestorePrecision(FpuControl) {}
#endif

typedef double (*PositionRule)(double v, double mode);

static double Position(PositionRule rule, const VariableRecord* source,
                       const VariableRecord* mode) {
  FpuControl saved = UseDoublePrecision();
  volatile double result = rule(source->value, mode->value);  // done before the restore
  RestorePrecision(saved);
  return result;
}

static HostWord DragLever(HostWord eventId, const MousePoint* point) {
  FpuControl saved = UseDoublePrecision();
  HostWord result = SendLeverSetting(eventId, point);
  RestorePrecision(saved);
  return result;
}

extern "C" {
HostWord HOST_CALL DragLever1(MousePoint* point, HostWord) {
  return DragLever(kLever1SetEvent, point);
}
HostWord HOST_CALL DragLever2(MousePoint* point, HostWord) {
  return DragLever(kLever2SetEvent, point);
}
double HOST_CALL GripPosition1(VariableRecord* source) {
  return Position(GripPosition, source, &gLever1Mode);
}
double HOST_CALL GripPosition2(VariableRecord* source) {
  return Position(GripPosition, source, &gLever2Mode);
}
double HOST_CALL FollowerPosition1(VariableRecord* source) {
  return Position(FollowerPosition, source, &gLever1Mode);
}
double HOST_CALL FollowerPosition2(VariableRecord* source) {
  return Position(FollowerPosition, source, &gLever2Mode);
}
}
