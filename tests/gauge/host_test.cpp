// A substitute panel host: loads the x86_64 gauge, hands it a service table
// whose thirteen used entries record their calls (any other entry is a
// failure), and drives the routines and callbacks as the host would.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "../../gauge/records.h"
#include "support/test_util.h"

namespace {

const unsigned kTableEntries = 64;
const char kGaugeFile[] = "Dorvane_quadrant_levers.gau";

struct Call {
  unsigned offset;
  uintptr_t args[3];
  HostWord result;
};

std::vector<Call> gCalls;
std::vector<unsigned> gUnexpected;
std::map<HostWord, double> gHostValues;  // token -> value written by look-ups
ImageRecord gBackgroundImage;
void* gServiceTable[kTableEntries];

HostWord Record(unsigned offset, uintptr_t a, uintptr_t b = 0, uintptr_t c = 0) {
  // A distinct result per call shows which call a routine's result came from.
  HostWord result = 0x7000 + static_cast<HostWord>(gCalls.size());
  gCalls.push_back({offset, {a, b, c}, result});
  return result;
}

HostWord QueryElements(ElementHead* e) { return Record(kQueryElements, (uintptr_t)e); }
HostWord InstallElements(ElementHead* e, HostWord parameter) {
  // The host makes the background's image record from its bitmap.
  if (e->kind == kElementStaticImage)
    reinterpret_cast<StaticImageElement*>(e)->image = &gBackgroundImage;
  return Record(kInstallElements, (uintptr_t)e, parameter);
}
HostWord InitializeElements(ElementHead* e) { return Record(kInitializeElements, (uintptr_t)e); }
HostWord UpdateElements(ElementHead* e) { return Record(kUpdateElements, (uintptr_t)e); }
HostWord GenerateElements(ElementHead* e, HostWord phase) {
  return Record(kGenerateElements, (uintptr_t)e, phase);
}
HostWord DrawElements(ElementHead* e) { return Record(kDrawElements, (uintptr_t)e); }
HostWord KillElements(ElementHead* e) { return Record(kKillElements, (uintptr_t)e); }
HostWord InstallMouseAreas(MouseArea* list, GaugeHeader* header, HostWord* size) {
  return Record(kInstallMouseAreas, (uintptr_t)list, (uintptr_t)header, (uintptr_t)size);
}
HostWord RegisterMouseAreas(MouseArea* list, GaugeHeader* header) {
  return Record(kRegisterMouseAreas, (uintptr_t)list, (uintptr_t)header);
}
HostWord UnregisterMouseAreas(MouseArea* list, GaugeHeader* header) {
  return Record(kUnregisterMouseAreas, (uintptr_t)list, (uintptr_t)header);
}
HostWord SendKeyEvent(HostWord event, HostWord value) {
  return Record(kSendKeyEvent, event, value);
}
HostWord InitializeVariable(VariableRecord* v) { return Record(kInitializeVariable, (uintptr_t)v); }
HostWord LookUpVariable(VariableRecord* v) {
  v->value = gHostValues[v->token];
  return Record(kLookUpVariable, (uintptr_t)v);
}

template <unsigned N>
HostWord Unexpected() {
  gUnexpected.push_back(N * kServiceEntrySize);
  return 0;
}
template <unsigned... N>
void FillUnexpected(std::integer_sequence<unsigned, N...>) {
  ((gServiceTable[N] = reinterpret_cast<void*>(&Unexpected<N>)), ...);
}

void Set(unsigned offset, void* routine) { gServiceTable[offset / kServiceEntrySize] = routine; }

// Width and height of a bitmap resource of the gauge.
std::pair<LONG, LONG> BitmapSize(HMODULE module, int id) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
  if (!found) return {0, 0};
  auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
  return {info->biWidth, info->biHeight};
}

class GaugeHost : public ::testing::Test {
 protected:
  void SetUp() override {
    gCalls.clear();
    gUnexpected.clear();
    gHostValues.clear();
    module = LoadLibraryA(DistPath(kGaugeFile).c_str());
    ASSERT_NE(module, nullptr) << DistPath(kGaugeFile) << " error " << GetLastError();
    linkage = reinterpret_cast<ModuleRecord*>(GetProcAddress(module, "Linkage"));
    imports = reinterpret_cast<ImportEntry*>(GetProcAddress(module, "ImportTable"));
    ASSERT_NE(linkage, nullptr);
    ASSERT_NE(imports, nullptr);
    header = linkage->gauges[0];
    ASSERT_NE(header, nullptr);
    background = reinterpret_cast<StaticImageElement*>(header->elementList[0]);
    mouse = nullptr;

    auto size = BitmapSize(module, 100);
    gBackgroundImage = {0, static_cast<HostWord>(size.first), static_cast<HostWord>(size.second)};
    FillUnexpected(std::make_integer_sequence<unsigned, kTableEntries>());
    Set(kQueryElements, (void*)&QueryElements);
    Set(kInstallElements, (void*)&InstallElements);
    Set(kInitializeElements, (void*)&InitializeElements);
    Set(kUpdateElements, (void*)&UpdateElements);
    Set(kGenerateElements, (void*)&GenerateElements);
    Set(kDrawElements, (void*)&DrawElements);
    Set(kKillElements, (void*)&KillElements);
    Set(kInstallMouseAreas, (void*)&InstallMouseAreas);
    Set(kRegisterMouseAreas, (void*)&RegisterMouseAreas);
    Set(kUnregisterMouseAreas, (void*)&UnregisterMouseAreas);
    Set(kSendKeyEvent, (void*)&SendKeyEvent);
    Set(kInitializeVariable, (void*)&InitializeVariable);
    Set(kLookUpVariable, (void*)&LookUpVariable);
  }
  void TearDown() override {
    EXPECT_TRUE(gUnexpected.empty()) << "unused service entry called, offset "
                                     << (gUnexpected.empty() ? 0 : gUnexpected[0]);
    if (module) {
      // The host owns the table; leave the library as it was found.
      imports[0].table = nullptr;
      background->image = nullptr;
      EXPECT_TRUE(FreeLibrary(module));
    }
  }

  // The host stores its table, then installs the gauge.
  void Install(HostWord parameter = 1) {
    imports[0].table = gServiceTable;
    header->install(parameter);
    mouse = reinterpret_cast<MouseArea*>(gCalls.back().args[0]);
    gCalls.clear();
  }

  // Every element, depth first from the header's element list.
  std::vector<ElementHead*> TreeOrder() {
    std::vector<ElementHead*> order;
    Walk(header->elementList, order);
    return order;
  }
  void Walk(ElementHead** list, std::vector<ElementHead*>& order) {
    for (; list && *list; ++list) {
      order.push_back(*list);
      Walk((*list)->nextList, order);
    }
  }
  SliderElement* Slider(unsigned bitmap, int x) {
    for (ElementHead* e : TreeOrder())
      if (e->bitmapId == bitmap && e->x == x) return reinterpret_cast<SliderElement*>(e);
    return nullptr;
  }

  HMODULE module = nullptr;
  ModuleRecord* linkage = nullptr;
  ImportEntry* imports = nullptr;
  GaugeHeader* header = nullptr;
  StaticImageElement* background = nullptr;
  MouseArea* mouse = nullptr;
};

HostWord TokenAt(uintptr_t variable) { return reinterpret_cast<VariableRecord*>(variable)->token; }

TEST_F(GaugeHost, ExportsOnlyTheTwoRecordsAndTheGaugeHeader) {
  EXPECT_EQ(GetProcAddress(module, "DllMain"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "QueryGauge"), nullptr);
  EXPECT_EQ(linkage->identifier, 0x13u);
  EXPECT_EQ(linkage->gauges[1], nullptr);
  EXPECT_EQ(imports[0].identifier, 0x0Fu);
  EXPECT_EQ(imports[0].table, nullptr);
  EXPECT_EQ(imports[1].identifier, 0u);
  EXPECT_EQ(imports[1].table, nullptr);
  EXPECT_EQ(header->version, 610u);
  EXPECT_STREQ(header->name, "Dorvane_quadrant_levers");
  EXPECT_EQ(header->defaultSize, 126u);
  EXPECT_EQ(header->elementList[1], nullptr);
  EXPECT_EQ(background->head.kind, kElementStaticImage);
  EXPECT_EQ(background->head.bitmapId, 100u);
  EXPECT_EQ(BitmapSize(module, 100), std::make_pair(LONG(331), LONG(154)));
  // Module start and stop do nothing, even before the table is stored.
  EXPECT_EQ(linkage->start(), 0u);
  EXPECT_EQ(linkage->stop(), 0u);
  EXPECT_TRUE(gCalls.empty());
}

// What the host draws: the background first, then six moving parts, each a
// bitmap of the module placed within the 331 x 154 overlay. (The records'
// exact numbers are checked in the shipped file's bytes.)
TEST_F(GaugeHost, ElementTreeDrawsInsideTheOverlay) {
  std::vector<ElementHead*> order = TreeOrder();
  ASSERT_EQ(order.size(), 7u);
  EXPECT_EQ(order[0]->kind, kElementStaticImage);
  for (size_t i = 0; i < order.size(); ++i) {
    ElementHead* e = order[i];
    SCOPED_TRACE("element " + std::to_string(i) + ", bitmap " + std::to_string(e->bitmapId));
    EXPECT_EQ(e->header, header);
    EXPECT_EQ(e->drawingFlags, 3u);
    if (i > 0) EXPECT_EQ(e->kind, kElementSlider);
    std::pair<LONG, LONG> size = BitmapSize(module, static_cast<int>(e->bitmapId));
    ASSERT_GT(size.first, 0);
    EXPECT_GE(static_cast<int>(e->x), 0);
    EXPECT_GE(static_cast<int>(e->y), 0);
    EXPECT_LT(static_cast<int>(e->x), 331);
    EXPECT_LT(static_cast<int>(e->y), 154);
  }
  // Followers move both ways through one callback; grips move up and down
  // through theirs.
  EXPECT_EQ(Slider(400, 225)->xAxis.position, Slider(400, 225)->yAxis.position);
  EXPECT_EQ(Slider(400, 190)->xAxis.position, Slider(400, 190)->yAxis.position);
  EXPECT_NE(Slider(400, 225)->xAxis.position, nullptr);
  EXPECT_NE(Slider(300, 118)->yAxis.position, nullptr);
  EXPECT_NE(Slider(200, 69)->yAxis.position, nullptr);
}

TEST_F(GaugeHost, RoutinesCallTheServicesInOrder) {
  imports[0].table = gServiceTable;
  uintptr_t bg = reinterpret_cast<uintptr_t>(background);
  const HostWord parameter = 0xA5C3F00Du;

  HostWord result = header->install(parameter);
  ASSERT_EQ(gCalls.size(), 5u);
  EXPECT_EQ(gCalls[0].offset, unsigned(kInitializeVariable));
  EXPECT_EQ(TokenAt(gCalls[0].args[0]), 73u);
  EXPECT_EQ(gCalls[1].offset, unsigned(kInitializeVariable));
  EXPECT_EQ(TokenAt(gCalls[1].args[0]), 2u);
  EXPECT_EQ(gCalls[2].offset, unsigned(kInstallElements));
  EXPECT_EQ(gCalls[2].args[0], bg);
  EXPECT_EQ(gCalls[2].args[1], parameter);
  EXPECT_EQ(gCalls[3].offset, unsigned(kInstallMouseAreas));
  uintptr_t list = gCalls[3].args[0];
  EXPECT_EQ(gCalls[3].args[1], reinterpret_cast<uintptr_t>(header));
  // The width/height pair of the image record that the element install attached.
  EXPECT_EQ(gCalls[3].args[2], reinterpret_cast<uintptr_t>(&gBackgroundImage.width));
  EXPECT_EQ(gCalls[4].offset, unsigned(kRegisterMouseAreas));
  EXPECT_EQ(gCalls[4].args[0], list);
  EXPECT_EQ(gCalls[4].args[1], reinterpret_cast<uintptr_t>(header));
  EXPECT_EQ(result, gCalls[4].result);
  const MouseArea* areas = reinterpret_cast<const MouseArea*>(list);
  EXPECT_EQ(areas[0].kind, kMouseGroupBegin);
  EXPECT_EQ(areas[6].kind, kMouseEnd);

  // Each passes the background (and generate its phase) to one service.
  constexpr HostWord phase = 0xFFFFFFFEu;
  struct Single {
    const char* name;
    HostWord (*call)(GaugeHeader*);
    unsigned offset;
    HostWord second;  // the service's second argument
  };
  const Single singles[] = {
      {"query", [](GaugeHeader* h) { return h->query(); }, kQueryElements, 0},
      {"initialise", [](GaugeHeader* h) { return h->initialize(); }, kInitializeElements, 0},
      {"draw", [](GaugeHeader* h) { return h->draw(); }, kDrawElements, 0},
      {"generate", [](GaugeHeader* h) { return h->generate(phase); }, kGenerateElements, phase},
  };
  for (const Single& s : singles) {
    SCOPED_TRACE(s.name);
    gCalls.clear();
    result = s.call(header);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].offset, s.offset);
    EXPECT_EQ(gCalls[0].args[0], bg);
    EXPECT_EQ(gCalls[0].args[1], s.second);
    EXPECT_EQ(result, gCalls[0].result);
  }

  gCalls.clear();
  result = header->update();
  ASSERT_EQ(gCalls.size(), 5u);
  const HostWord lookUps[] = {131, 166, 73, 2};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(gCalls[i].offset, unsigned(kLookUpVariable));
    EXPECT_EQ(TokenAt(gCalls[i].args[0]), lookUps[i]);
  }
  EXPECT_EQ(gCalls[4].offset, unsigned(kUpdateElements));
  EXPECT_EQ(gCalls[4].args[0], bg);
  EXPECT_EQ(result, gCalls[4].result);

  gCalls.clear();
  result = header->kill();
  ASSERT_EQ(gCalls.size(), 2u);
  EXPECT_EQ(gCalls[0].offset, unsigned(kUnregisterMouseAreas));
  EXPECT_EQ(gCalls[0].args[0], list);
  EXPECT_EQ(gCalls[0].args[1], reinterpret_cast<uintptr_t>(header));
  EXPECT_EQ(gCalls[1].offset, unsigned(kKillElements));
  EXPECT_EQ(gCalls[1].args[0], bg);
  EXPECT_EQ(result, gCalls[1].result);
}

TEST_F(GaugeHost, ModeVariablesAreOnlyLookedUp) {
  Install();
  gHostValues = {{131, 2.5}, {166, -1.0}, {73, 9.0}, {2, 512.0}};
  // Before the first update the mode values are still 0: the grip takes v.
  SliderElement* grip1 = Slider(200, 69);
  grip1->yAxis.source.value = -100.0;
  EXPECT_EQ(grip1->yAxis.position(&grip1->yAxis.source), -100.0);
  header->update();
  EXPECT_DOUBLE_EQ(grip1->yAxis.position(&grip1->yAxis.source), -160.0);
  std::vector<HostWord> looked;
  for (const Call& c : gCalls)
    if (c.offset == kLookUpVariable) looked.push_back(TokenAt(c.args[0]));
  EXPECT_EQ(looked, (std::vector<HostWord>{131, 166, 73, 2}));
  EXPECT_EQ(gCalls.back().offset, unsigned(kUpdateElements));
}

TEST_F(GaugeHost, LeverAreasSendOneClampedSettingPerCall) {
  Install();
  ASSERT_EQ(gBackgroundImage.height, 154u);
  struct Area {
    int index;
    HostWord event;
  };
  const Area areas[] = {{1, 65820}, {2, 65821}};
  const struct {
    int y;
    HostWord setting;
  } table[] = {{-1, 16383}, {0, 16383}, {1, 16063}, {10, 13191}, {25, 8404},
               {50, 425},   {51, 106},  {52, 0},     {150, 0},
               // far outside the area the clamp still holds
               {INT_MIN, 16383}, {-1000000, 16383}, {1000000, 0}, {INT_MAX, 0}};
  for (const Area& area : areas) {
    MouseCallback drag = mouse[area.index].callback;
    ASSERT_NE(drag, nullptr);
    for (const auto& row : table) {
      for (int x : {0, 70, -3000}) {
        SCOPED_TRACE("area " + std::to_string(area.index) + " y " + std::to_string(row.y) +
                     " x " + std::to_string(x));
        gCalls.clear();
        MousePoint point = {x, row.y};
        EXPECT_EQ(drag(&point, 0xFFFFFFFFu), 0u);
        ASSERT_EQ(gCalls.size(), 1u);
        EXPECT_EQ(gCalls[0].offset, unsigned(kSendKeyEvent));
        EXPECT_EQ(gCalls[0].args[0], area.event);
        EXPECT_EQ(gCalls[0].args[1], row.setting);
      }
    }
  }
  // The same setting twice sends twice.
  gCalls.clear();
  MousePoint point = {80, 25};
  mouse[1].callback(&point, 0);
  mouse[1].callback(&point, 0);
  EXPECT_EQ(gCalls.size(), 2u);
  // The flap areas run no code of the gauge's own.
  EXPECT_EQ(mouse[3].callback, nullptr);
  EXPECT_EQ(mouse[4].callback, nullptr);
}

TEST_F(GaugeHost, PositionCallbacksFollowModeMarginAndSign) {
  Install();
  SliderElement* grips[] = {Slider(200, 69), Slider(300, 118)};
  SliderElement* followers[] = {Slider(400, 190), Slider(400, 225)};
  const HostWord modeTokens[] = {131, 166};
  const double nz = -0.0;
  struct Case {
    double mode, t73, t2, v, grip, follower;
  };
  const Case table[] = {
      {0.0, 9.0, 0.0, 16383.0, 16383.0, -8000.0},
      {nz, 9.0, 0.0, -4096.0, -4096.0, -8000.0},  // negative zero mode is zero
      {0.0, 0.0, 0.0, -4096.0, -4096.0, -8000.0},
      {1.0, 9.0, 0.0, 16383.0, 16191.5, 16383.0},
      {1.0, 9.0, 0.0, 0.0, 8000.0, 0.0},
      {1.0, 9.0, 0.0, nz, 8000.0, 0.0},  // negative zero v is not negative
      {1.0, 9.0, 0.0, -4096.0, -6553.6, 16000.0},
      {1.0, 3.0, 0.0, 100.0, 8050.0, 100.0},     // margin exactly 3 counts as reached
      {1.0, 4.0, 256.0, 100.0, 8050.0, 100.0},   // 4 - 256/256 = 3
      {-2.0, 3.5, 256.0, 100.0, 50.0, 16000.0},  // 3.5 - 1 < 3
      {1.0, 2.0, 0.0, 16383.0, 8191.5, 16000.0},
      {1.0, 2.0, 0.0, 0.0, 0.0, 16000.0},
      {1.0, 2.0, 0.0, nz, 0.0, 16000.0},
      {1.0, 2.0, 0.0, -4096.0, -6553.6, 16000.0},
      {1.0, 3.0, 1.0, 16383.0, 8191.5, 16000.0},  // 3 - 1/256 falls short
  };
  for (int lever = 0; lever < 2; ++lever) {
    ASSERT_NE(grips[lever], nullptr);
    ASSERT_NE(followers[lever], nullptr);
    for (size_t i = 0; i < sizeof(table) / sizeof(table[0]); ++i) {
      const Case& c = table[i];
      SCOPED_TRACE("lever " + std::to_string(lever + 1) + " case " + std::to_string(i));
      // The other lever's mode is the opposite, so a callback that read the
      // wrong mode variable would show.
      gHostValues = {{modeTokens[lever], c.mode},
                     {modeTokens[1 - lever], c.mode == 0.0 ? 1.0 : 0.0},
                     {73, c.t73},
                     {2, c.t2}};
      header->update();
      Axis& grip = grips[lever]->yAxis;
      grip.source.value = c.v;
      EXPECT_EQ(grip.position(&grip.source), c.grip);
      for (Axis* axis : {&followers[lever]->xAxis, &followers[lever]->yAxis}) {
        axis->source.value = c.v;
        EXPECT_EQ(axis->position(&axis->source), c.follower);
      }
    }
  }
  // Position callbacks send nothing; only the look-ups and updates were made.
  for (const Call& call : gCalls)
    EXPECT_TRUE(call.offset == kLookUpVariable || call.offset == kUpdateElements);
}

}  // namespace
