// Plays panel host for the x86_64 gauge and draws the 331 x 154 gauge for a
// few lever settings into PPM pictures in the current folder. Each slider is
// placed at its position plus scale x axis value, the axis value coming from
// the element's position callback where it has one. Bitmap index 0 is drawn
// as transparent; every element gets a coloured frame, since five of the six
// bitmaps are plain black.
#include <windows.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "gauge/records.h"

namespace {
const int kWidth = 331;
const int kHeight = 154;
const int kTokens = 512;
const int kServiceEntries = 64;

unsigned char gCanvas[kHeight][kWidth][3];
double gValues[kTokens];  // the simulator, by token
ImageRecord gBackgroundImage;
void* gServices[kServiceEntries];
HMODULE gGauge;

HostWord InstallElements(ElementHead* e, HostWord) {
  if (e->kind == kElementStaticImage) reinterpret_cast<StaticImageElement*>(e)->image = &gBackgroundImage;
  return 1;
}
HostWord AnyElement(ElementHead*) { return 1; }
HostWord AnyElementWord(ElementHead*, HostWord) { return 1; }
HostWord AnyMouse(MouseArea*, GaugeHeader*) { return 1; }
MouseArea* gMouseList;  // as the gauge installs it
HostWord InstallMouse(MouseArea* list, GaugeHeader*, HostWord*) {
  gMouseList = list;
  return 1;
}
HostWord InitializeVariable(VariableRecord*) { return 1; }
HostWord LookUpVariable(VariableRecord* v) {
  v->value = gValues[v->token % kTokens];
  return 1;
}
// The lever set events reach the simulated levers directly.
HostWord SendKeyEvent(HostWord event, HostWord value) {
  if (event == 65820) gValues[128] = static_cast<int32_t>(value);
  if (event == 65821) gValues[163] = static_cast<int32_t>(value);
  return 1;
}

void Set(unsigned offset, void* routine) { gServices[offset / kServiceEntrySize] = routine; }

const BITMAPINFOHEADER* Bitmap(HostWord id) {
  HRSRC found = FindResourceA(gGauge, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
  return found ? static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(gGauge, found))) : nullptr;
}

void Pixel(int x, int y, unsigned char r, unsigned char g, unsigned char b) {
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
  gCanvas[y][x][0] = r;
  gCanvas[y][x][1] = g;
  gCanvas[y][x][2] = b;
}

void Frame(int x, int y, int w, int h, const unsigned char* rgb, int dash) {
  for (int i = 0; i < w; ++i)
    if (i % dash == 0) {
      Pixel(x + i, y, rgb[0], rgb[1], rgb[2]);
      Pixel(x + i, y + h - 1, rgb[0], rgb[1], rgb[2]);
    }
  for (int j = 0; j < h; ++j)
    if (j % dash == 0) {
      Pixel(x, y + j, rgb[0], rgb[1], rgb[2]);
      Pixel(x + w - 1, y + j, rgb[0], rgb[1], rgb[2]);
    }
}

void Blit(const BITMAPINFOHEADER* info, int left, int top) {
  const RGBQUAD* palette = reinterpret_cast<const RGBQUAD*>(info + 1);
  const unsigned char* bits = reinterpret_cast<const unsigned char*>(palette + 256);
  int stride = (info->biWidth + 3) & ~3;
  for (int y = 0; y < info->biHeight; ++y)
    for (int x = 0; x < info->biWidth; ++x) {
      unsigned char index = bits[(info->biHeight - 1 - y) * stride + x];
      if (index != 0) Pixel(left + x, top + y, palette[index].rgbRed, palette[index].rgbGreen, palette[index].rgbBlue);
    }
}

double AxisValue(Axis& axis) {
  if (axis.source.token == 0) return 0.0;
  axis.source.value = gValues[axis.source.token % kTokens];
  return axis.position ? axis.position(&axis.source) : axis.source.value;
}

const unsigned char kColours[][3] = {{90, 90, 90},  {255, 80, 80}, {255, 170, 60}, {80, 200, 255},
                                     {80, 255, 120}, {255, 255, 90}, {200, 120, 255}};
int gDrawn;

void Draw(ElementHead** list) {
  for (; list && *list; ++list) {
    ElementHead* e = *list;
    double x = e->x, y = e->y;
    if (e->kind == kElementSlider) {
      auto* s = reinterpret_cast<SliderElement*>(e);
      x += s->xAxis.scale * AxisValue(s->xAxis);
      y += s->yAxis.scale * AxisValue(s->yAxis);
    }
    int left = static_cast<int>(lround(x)), top = static_cast<int>(lround(y));
    const BITMAPINFOHEADER* info = Bitmap(e->bitmapId);
    if (info) {
      Blit(info, left, top);
      Frame(left, top, info->biWidth, info->biHeight, kColours[gDrawn % 7], 1);
    }
    printf("  %d bitmap %u at (%d, %d)\n", gDrawn, e->bitmapId, left, top);
    ++gDrawn;
    Draw(e->nextList);
  }
}

bool WritePicture(const char* name) {
  FILE* f = fopen(name, "wb");
  if (!f) return false;
  fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
  fwrite(gCanvas, 1, sizeof(gCanvas), f);
  return fclose(f) == 0;
}
}  // namespace

int main() {
  char path[MAX_PATH];
  snprintf(path, sizeof(path), "%s\\Dorvane_quadrant_levers.gau", DIST_DIR);
  for (char* c = path; *c; ++c)
    if (*c == '/') *c = '\\';
  gGauge = LoadLibraryA(path);
  if (!gGauge) {
    fprintf(stderr, "cannot load %s (%lu)\n", path, GetLastError());
    return 1;
  }
  auto* linkage = reinterpret_cast<ModuleRecord*>(GetProcAddress(gGauge, "Linkage"));
  auto* imports = reinterpret_cast<ImportEntry*>(GetProcAddress(gGauge, "ImportTable"));
  GaugeHeader* header = linkage->gauges[0];
  const BITMAPINFOHEADER* bg = Bitmap(100);
  gBackgroundImage = {0, static_cast<HostWord>(bg->biWidth), static_cast<HostWord>(bg->biHeight)};
  Set(kQueryElements, (void*)&AnyElement);
  Set(kInstallElements, (void*)&InstallElements);
  Set(kInitializeElements, (void*)&AnyElement);
  Set(kUpdateElements, (void*)&AnyElement);
  Set(kGenerateElements, (void*)&AnyElementWord);
  Set(kDrawElements, (void*)&AnyElement);
  Set(kKillElements, (void*)&AnyElement);
  Set(kInstallMouseAreas, (void*)&InstallMouse);
  Set(kRegisterMouseAreas, (void*)&AnyMouse);
  Set(kUnregisterMouseAreas, (void*)&AnyMouse);
  Set(kSendKeyEvent, (void*)&SendKeyEvent);
  Set(kInitializeVariable, (void*)&InitializeVariable);
  Set(kLookUpVariable, (void*)&LookUpVariable);
  imports[0].table = gServices;
  linkage->start();
  header->install(0);
  header->initialize();

  struct Scene {
    const char* name;
    int dragY;       // pointer height in both lever areas, or
    double lever;    // the lever value when dragY < -1000
    double mode, t73, t2, flaps, indicator;
  };
  const Scene scenes[] = {
      {"idle", 60, 0, 1, 5, 0, 0, 0},
      {"full_throttle", 0, 0, 1, 5, 0, 0, 0},
      {"reverse", -9999, -4096, 1, 5, 0, 0, 0},
      {"flaps", 60, 0, 1, 5, 0, 8192, 16383},  // half flaps: full runs off the gauge
      {"engines_off", 0, 0, 0, 5, 0, 0, 0},
  };
  for (const Scene& s : scenes) {
    memset(gValues, 0, sizeof(gValues));
    gValues[131] = gValues[166] = s.mode;
    gValues[73] = s.t73;
    gValues[2] = s.t2;
    gValues[328] = s.flaps;
    gValues[319] = s.indicator;
    if (s.dragY > -1000) {
      MousePoint point = {0, s.dragY};
      // Both lever areas' callbacks, as a drag at that height.
      gMouseList[1].callback(&point, 0);
      gMouseList[2].callback(&point, 0);
    } else {
      gValues[128] = gValues[163] = s.lever;
    }
    header->update();
    memset(gCanvas, 0, sizeof(gCanvas));
    gDrawn = 0;
    printf("%s: levers %.1f / %.1f, mode %.0f, flaps %.0f\n", s.name, gValues[128], gValues[163], s.mode, s.flaps);
    Draw(header->elementList);
    char file[64];
    snprintf(file, sizeof(file), "%s.ppm", s.name);
    if (!WritePicture(file)) return 1;
  }
  header->kill();
  linkage->stop();
  return 0;
}
