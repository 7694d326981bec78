#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "app/drawings/CadFile.h"
#include "tests/support/SampleData.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

fs::path CadSample(const std::string& name) {
  const fs::path folder = SampleData("cad");
  return folder.empty() ? fs::path() : folder / name;
}

#define REQUIRE_CAD_SAMPLES()                                            \
  if (SampleData("cad").empty()) GTEST_SKIP() << "no sample CAD folder"; \
  static_assert(true, "")

std::map<int, int> CountByType(const CCadDrawing& drawing) {
  std::map<int, int> counts;
  for (const CadEntity& entity : drawing.GetEntities()) ++counts[entity.type];
  return counts;
}

const CadEntity* FirstOfType(const CCadDrawing& drawing, int type) {
  for (const CadEntity& entity : drawing.GetEntities())
    if (entity.type == type) return &entity;
  return nullptr;
}

}  // namespace

// Entity counts are the points, lines and rings of GDAL's features (a block insert or a
// dimension is one feature of many parts), less those of paper space.
TEST(CadFile, EverySampleDrawingOpensWithItsEntities) {
  REQUIRE_CAD_SAMPLES();
  const std::map<std::string, int> expected = {{"ezdxf_AC1003_LINE_Example.dxf", 22},
                                               {"ezdxf_POLI-ALL210_12.DXF", 31},
                                               {"ezdxf_R12_with_trash_beyond_EOF.dxf", 1},
                                               {"gdal_assorted.dxf", 31},
                                               {"gdal_byblock-bylayer-new.dxf", 819},
                                               {"gdal_byblock-bylayer.dxf", 15},
                                               {"gdal_closed_polyline_with_bulge.dxf", 1},
                                               {"gdal_frozen-off.dxf", 104},
                                               {"gdal_insert-recursive-pair.dxf", 1},
                                               {"gdal_text-fancy.dxf", 6},
                                               {"gdal_utf-8.dxf", 1},
                                               {"gdal_text_mtext_attdef_r2000.dwg", 3},
                                               {"gdal_triple_circles_r2000.dwg", 3},
                                               {"libopencad_256_lwpolylines_7vertexes.dwg", 256}};
  for (const auto& [name, count] : expected) {
    CCadDrawing drawing;
    std::string error;
    const fs::path path = CadSample(name);
    ASSERT_EQ(CadFileOpen(drawing, path.string(), error), 1) << name << ": " << error;
    EXPECT_EQ(drawing.CountEntities(), count) << name;
    EXPECT_EQ(drawing.GetFileName(), path.string());
    EXPECT_FALSE(drawing.IsDirty());
    CadExtent extents;
    EXPECT_TRUE(drawing.GetExtents(extents) || name == "gdal_frozen-off.dxf") << name;
  }
  CCadDrawing lines;
  std::string error;
  ASSERT_EQ(CadFileOpen(lines, CadSample("ezdxf_AC1003_LINE_Example.dxf").string(), error), 1);
  EXPECT_EQ(CountByType(lines)[CAD_LINE], 13);
  EXPECT_EQ(CountByType(lines)[CAD_POLYLINE], 9);  // the arcs
  CCadDrawing polylines;
  ASSERT_EQ(
      CadFileOpen(polylines, CadSample("libopencad_256_lwpolylines_7vertexes.dwg").string(), error),
      1);
  CadExtent extents;
  ASSERT_TRUE(polylines.GetExtents(extents));
  EXPECT_NEAR(extents.left, 3.93, 0.01);
  EXPECT_NEAR(extents.top, 100.51, 0.01);
  // Seven points, the last on the first.
  EXPECT_EQ(polylines.GetEntities()[0].vertices.size(), 6u);
  EXPECT_TRUE(polylines.GetEntities()[0].closed);
}

TEST(CadFile, DamagedOrUnsupportedFilesFailAndChangeNothing) {
  ScratchFolder folder;
  const fs::path missing = (folder / "missing.dxf");
  const fs::path notCad = (folder / "notes.dxf");
  std::ofstream(notCad) << "a shopping list, not a drawing\n";
  std::vector<std::pair<fs::path, std::string>> cases = {{missing, "cannot be read"},
                                                         {notCad, "could not be read as DXF"}};
  if (!SampleData("cad").empty()) {
    cases.push_back({CadSample("gdal_AC1018_signature.dwg"), "R2004 (AC1018)"});
    cases.push_back(
        {CadSample("gdal_clusterfuzz-testcase-minimized-dxf_fuzzer-5400376672124928.dxf"),
         "damaged"});
    cases.push_back({CadSample("gdal_bin_dxf_r2000.dxf"), "binary DXF"});
    // A line end turned into a NUL byte: OGR's reader spent minutes on it.
    std::ifstream in(CadSample("gdal_insert-recursive-pair.dxf"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.at(672), '\n');
    bytes[672] = '\0';
    const fs::path nul = folder / "nul.dxf";
    std::ofstream(nul, std::ios::binary) << bytes;
    cases.push_back({nul, "NUL byte at offset 672"});
  }
  CCadDrawing drawing;
  drawing.AddLayer("Stones", 2);
  CadEntity point;
  point.vertices = {{1, 2, 3}};
  drawing.AddEntity(point);
  drawing.SetFileName("/site/plan.dxf");
  for (const auto& [path, why] : cases) {
    std::string error;
    EXPECT_EQ(CadFileOpen(drawing, path.string(), error), 0) << path;
    EXPECT_NE(error.find(why), std::string::npos) << error;
    EXPECT_NE(error.find(path.string()), std::string::npos) << error;
    EXPECT_EQ(drawing.CountEntities(), 1);
    EXPECT_EQ(drawing.CountLayers(), 2);
    EXPECT_EQ(drawing.GetFileName(), "/site/plan.dxf");
  }
}

TEST(CadFile, LayersKeepTheirColoursVisibilityAndNames) {
  REQUIRE_CAD_SAMPLES();
  std::string error;
  CCadDrawing frozen;
  ASSERT_EQ(CadFileOpen(frozen, CadSample("gdal_frozen-off.dxf").string(), error), 1) << error;
  EXPECT_TRUE(frozen.GetLayerByName("ONTHAW")->visible);
  EXPECT_FALSE(frozen.GetLayerByName("ONFREEZE")->visible);
  EXPECT_FALSE(frozen.GetLayerByName("OFFTHAW")->visible);
  EXPECT_EQ(frozen.GetLayerByName("OFFTHAW")->color, 7);
  EXPECT_FALSE(frozen.GetLayerByName("OFFFREEZE")->visible);

  CCadDrawing colours;
  ASSERT_EQ(CadFileOpen(colours, CadSample("gdal_byblock-bylayer.dxf").string(), error), 1);
  EXPECT_EQ(colours.GetLayerByName("_K_POINTS")->color, 1);
  EXPECT_EQ(colours.GetLayerByName("TheYellowLayer")->color, 2);
  EXPECT_EQ(colours.GetLayerByName("TrueColorLayer")->color, 101);

  // Entities of colour BYLAYER take their layer's; an explicit colour stays the entity's.
  CCadDrawing lines;
  ASSERT_EQ(CadFileOpen(lines, CadSample("ezdxf_AC1003_LINE_Example.dxf").string(), error), 1);
  std::map<int, int> byColour;
  for (const CadEntity& entity : lines.GetEntities()) ++byColour[entity.color];
  EXPECT_GT(byColour[5] + byColour[130] + byColour[3], 0);
  CCadDrawing assorted;
  ASSERT_EQ(CadFileOpen(assorted, CadSample("gdal_assorted.dxf").string(), error), 1);
  const CadEntity* point = FirstOfType(assorted, CAD_POINT);
  ASSERT_NE(point, nullptr);
  // Its true colour (255, 190, 184) comes as the nearest index.
  const unsigned colour = CadGetColor(point->color);
  EXPECT_GT(colour & 0xff, 200u);
  EXPECT_LT((colour >> 8) & 0xff, 200u);
  EXPECT_EQ(point->handle, "45");
  int byLayer = 0;
  for (const CadEntity& entity : assorted.GetEntities()) byLayer += entity.color == 256;
  EXPECT_GE(byLayer, 16);

  // A layer no table declares is made, and stored UTF-8 names are read as UTF-8.
  CCadDrawing bulge;
  ASSERT_EQ(CadFileOpen(bulge, CadSample("gdal_closed_polyline_with_bulge.dxf").string(), error),
            1);
  ASSERT_NE(bulge.GetLayerByName("test"), nullptr);
  const CadEntity& outline = bulge.GetEntities()[0];
  EXPECT_TRUE(outline.closed);
  EXPECT_GT(outline.vertices.size(), 8u);  // the bulges' arcs
  EXPECT_GT(outline.vertices[0].x, 40585000);
  CCadDrawing utf8;
  ASSERT_EQ(CadFileOpen(utf8, CadSample("gdal_utf-8.dxf").string(), error), 1);
  ASSERT_NE(utf8.GetLayerByName("\xc3\xa9ven"), nullptr);
  EXPECT_EQ(utf8.GetEntities()[0].layerId, utf8.GetLayerByName("\xc3\xa9ven")->id);

  CCadDrawing text;
  ASSERT_EQ(CadFileOpen(text, CadSample("gdal_text-fancy.dxf").string(), error), 1);
  int invisible = 0;
  for (const CadEntity& entity : text.GetEntities()) {
    if (entity.type == CAD_TEXT && entity.text == "Some nice text") {
      EXPECT_DOUBLE_EQ(entity.textHeight, 10);
    }
    invisible += !entity.visible;
  }
  EXPECT_EQ(invisible, 1);
}

TEST(CadFile, DwgCirclesLayersAndTexts) {
  REQUIRE_CAD_SAMPLES();
  std::string error;
  CCadDrawing circles;
  ASSERT_EQ(CadFileOpen(circles, CadSample("gdal_triple_circles_r2000.dwg").string(), error), 1)
      << error;
  ASSERT_EQ(CountByType(circles)[CAD_CIRCLE], 3);
  std::map<std::string, const CadEntity*> byLayer;
  for (const CadEntity& entity : circles.GetEntities())
    byLayer[circles.GetLayerByID(entity.layerId)->name] = &entity;
  EXPECT_NEAR(byLayer["0"]->radius, 16.6, 1e-9);
  EXPECT_NEAR(byLayer["1"]->vertices[0].x, -15, 1e-9);
  EXPECT_NEAR(byLayer["2"]->vertices[0].y, 10, 1e-9);
  EXPECT_NEAR(byLayer["2"]->vertices[0].z, 10, 1e-9);

  CCadDrawing texts;
  ASSERT_EQ(CadFileOpen(texts, CadSample("gdal_text_mtext_attdef_r2000.dwg").string(), error), 1);
  ASSERT_EQ(CountByType(texts)[CAD_TEXT], 3);
  EXPECT_EQ(texts.GetEntities()[0].text,
            "\xd0\xa0\xd1\x83\xd1\x81\xd1\x81\xd0\xba\xd0\xb8\xd0\xb5 "
            "\xd0\xb1\xd1\x83\xd0\xba\xd0\xb2\xd1\x8b");
}

TEST(CadFile, SavedDrawingReadsBackTheSame) {
  ScratchFolder folder;
  CCadDrawing drawing;
  const int red = drawing.AddLayer("Rilievo \xc3\xa8", 1);
  const int hidden = drawing.AddLayer("Hidden", 30);
  drawing.GetLayerByID(hidden)->visible = false;
  CadEntity point;
  point.layerId = red;
  point.vertices = {{10.5, 20.25, 3}};
  drawing.AddEntity(point);
  CadEntity line;
  line.type = CAD_LINE;
  line.color = 5;
  line.vertices = {{0, 0, 0}, {100, 50, 2}};
  drawing.AddEntity(line);
  CadEntity polyline;
  polyline.type = CAD_POLYLINE;
  polyline.layerId = hidden;
  polyline.closed = true;
  polyline.vertices = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}};
  drawing.AddEntity(polyline);
  CadEntity text;
  text.type = CAD_TEXT;
  text.color = 2;
  text.vertices = {{5, 5, 0}};
  text.text = "Pietra \"12\" \xc3\xa0";
  text.textHeight = 2.5;
  text.textAngle = 30;
  drawing.AddEntity(text);
  CadEntity erased = line;
  drawing.EraseEntity(drawing.AddEntity(erased));

  const std::string path = ((folder / "saved plan.dxf")).string();
  std::string error;
  ASSERT_EQ(CadFileSaveAs(drawing, path, error), 1) << error;
  CCadDrawing read;
  ASSERT_EQ(CadFileOpen(read, path, error), 1) << error;
  ASSERT_EQ(read.CountEntities(), 4);
  for (int i = 0; i < 4; ++i) {
    const CadEntity& a = drawing.GetEntities()[i];
    const CadEntity& b = read.GetEntities()[i];
    EXPECT_EQ(b.type, a.type) << i;
    EXPECT_EQ(b.closed, a.closed) << i;
    EXPECT_EQ(read.GetEntityColorIndex(b), drawing.GetEntityColorIndex(a)) << i;
    EXPECT_EQ(b.color, a.color) << i;
    EXPECT_EQ(read.GetLayerByID(b.layerId)->name, drawing.GetLayerByID(a.layerId)->name);
    ASSERT_EQ(b.vertices.size(), a.vertices.size()) << i;
    for (size_t k = 0; k < a.vertices.size(); ++k) {
      EXPECT_DOUBLE_EQ(b.vertices[k].x, a.vertices[k].x);
      EXPECT_DOUBLE_EQ(b.vertices[k].y, a.vertices[k].y);
      EXPECT_DOUBLE_EQ(b.vertices[k].z, a.vertices[k].z);
    }
  }
  const CadEntity& readText = read.GetEntities()[3];
  EXPECT_EQ(readText.text, text.text);
  EXPECT_DOUBLE_EQ(readText.textHeight, 2.5);
  EXPECT_DOUBLE_EQ(readText.textAngle, 30);
  EXPECT_EQ(read.GetLayerByName("Rilievo \xc3\xa8")->color, 1);
  EXPECT_FALSE(read.GetLayerByName("Hidden")->visible);
  EXPECT_EQ(read.GetLayerByName("Hidden")->color, 30);

  // A real drawing keeps its entities, colours and layers through a save.
  if (SampleData("cad").empty()) return;
  CCadDrawing assorted, again;
  ASSERT_EQ(CadFileOpen(assorted, CadSample("gdal_byblock-bylayer.dxf").string(), error), 1);
  ASSERT_EQ(CadFileSaveAs(assorted, path, error), 1) << error;
  ASSERT_EQ(CadFileOpen(again, path, error), 1) << error;
  ASSERT_EQ(again.CountEntities(), assorted.CountEntities());
  for (size_t i = 0; i < assorted.GetEntities().size(); ++i) {
    const CadEntity& a = assorted.GetEntities()[i];
    const CadEntity& b = again.GetEntities()[i];
    EXPECT_EQ(again.GetEntityColorIndex(b), assorted.GetEntityColorIndex(a)) << i;
    EXPECT_EQ(b.vertices.size(), a.vertices.size()) << i;
  }
}

TEST(CadFile, SavingNeverTurnsADwgIntoDxfNorLeavesHalfAFile) {
  EXPECT_EQ(CadSavePath("/site/plan.dwg"), "/site/plan.dxf");
  EXPECT_EQ(CadSavePath("/site/Plan.DWG"), "/site/Plan.dxf");
  EXPECT_EQ(CadSavePath("/site/plan.DXF"), "/site/plan.DXF");
  EXPECT_EQ(CadSavePath("/site/ortho.tif"), "/site/ortho.dxf");
  ScratchFolder folder;
  CCadDrawing drawing;
  std::string error;
  const fs::path nowhere = (folder / "no such folder") / "plan.dxf";
  EXPECT_EQ(CadFileSaveAs(drawing, nowhere.string(), error), 0);
  EXPECT_NE(error.find(nowhere.string()), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(nowhere.parent_path()));
}

// Names DXF cannot hold as they are (found by the DXF fuzzer): each layer still reads back
// once, with its colour and its entities.
TEST(CadFile, LayerNamesDxfCannotHoldReadBackAsOneLayerEach) {
  ScratchFolder folder;
  CCadDrawing drawing;
  std::string longName;
  for (int i = 0; i < 150; ++i) longName += "\xc3\xa6";  // 300 bytes of UTF-8
  const std::vector<std::string> names = {" 8", "a?b", longName};
  for (size_t i = 0; i < names.size(); ++i) {
    CadEntity point;
    point.layerId = drawing.AddLayer(names[i], 10 + static_cast<int>(i));
    point.vertices = {{double(i), 0, 0}};
    drawing.AddEntity(point);
  }
  const std::string path = (folder / "names.dxf").string();
  std::string error;
  ASSERT_EQ(CadFileSaveAs(drawing, path, error), 1) << error;
  CCadDrawing read;
  ASSERT_EQ(CadFileOpen(read, path, error), 1) << error;
  EXPECT_EQ(read.CountLayers(), drawing.CountLayers());
  ASSERT_NE(read.GetLayerByName(" 8"), nullptr);
  ASSERT_NE(read.GetLayerByName("a_b"), nullptr);
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(read.GetEntityColorIndex(read.GetEntities()[i]), 10 + static_cast<int>(i)) << i;
}
