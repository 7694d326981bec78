#include <gtest/gtest.h>

#include "DBRecord.h"

TEST(ProjectStatements, SelectFiltersOnTheFieldsThatAreSetAsGiven) {
  CDBRecordProject all;
  EXPECT_EQ(all.BuildSelect(), "select * from project;");

  CDBRecordProject filter;
  filter.name = "Site";
  filter.path = "/Data/Survey/Site.strm";
  EXPECT_EQ(filter.BuildSelect(),
            "select * from project where name = 'Site' and path = '/Data/Survey/Site.strm';");
  EXPECT_EQ(filter.path, "/Data/Survey/Site.strm");

  filter.open_times = 2;
  std::vector<int> orFlags(11, 0);
  orFlags[5] = 1;
  EXPECT_EQ(filter.BuildSelect(orFlags),
            "select * from project where name = 'Site' and path = '/Data/Survey/Site.strm'"
            " or open_times = '2';");
}

TEST(ProjectStatements, UpdateAssignsOnlyTheFieldsThatAreSet) {
  CDBRecordProject row;
  row.open_times = 3;
  EXPECT_EQ(row.BuildUpdate(), "");  // no id: nothing to update
  row.id = 7;
  EXPECT_EQ(row.BuildUpdate(), "update project set  'open_times' = '3'  where id = 7;");

  row.thumb_path = "/A/B.jpg";
  EXPECT_EQ(row.BuildUpdate(),
            "update project set  'thumb_path' = '/A/B.jpg', 'open_times' = '3'  where id = 7;");

  CDBRecordProject nothingSet;
  nothingSet.id = 7;
  EXPECT_EQ(nothingSet.BuildUpdate(), "");
}

TEST(ProjectStatements, DeleteNeedsAnId) {
  CDBRecordProject row;
  EXPECT_EQ(row.BuildDelete(), "");
  row.id = 12;
  EXPECT_EQ(row.BuildDelete(), "delete from project where id = 12");
}

TEST(ProjectStatements, ApostrophesStayInsideTheirQuotes) {
  CDBRecordProject row;
  row.name = "site";
  row.path = "/data/O'Brien/site.strm";
  row.open_times = 1;
  EXPECT_EQ(row.BuildInsert(),
            "insert into project ('name','path','creation_date','open_data_time','thumb_path',"
            "'open_times','num_points','num_images','view_pov','view_link') values ('site',"
            "'/data/O''Brien/site.strm','','','','1','-1','-1','-1','-1');");
  EXPECT_EQ(row.BuildSelect(),
            "select * from project where name = 'site' and path = '/data/O''Brien/site.strm'"
            " and open_times = '1';");
  row.id = 1;
  EXPECT_NE(row.BuildUpdate().find("'path' = '/data/O''Brien/site.strm'"), std::string::npos);
  EXPECT_EQ(EscapeSqlText("''x'"), "''''x''");
}

TEST(ProjectStatements, ColumnsAndCopy) {
  CDBRecordProject source;
  EXPECT_EQ(source.GetColumnCount(), 11);
  EXPECT_EQ(source.GetColumnName(2), "creation_date");
  EXPECT_EQ(source.GetColumnName(10), "id");
  EXPECT_EQ(source.GetColumnName(11), "");
  EXPECT_EQ(source.GetColumnName(-1), "");

  source.name = "a";
  source.path = "b";
  source.creation_date = "c";
  source.open_data_time = "d";
  source.thumb_path = "e";
  source.open_times = 1;
  source.num_points = 2;
  source.num_images = 3;
  source.view_pov = 4;
  source.view_link = 5;
  source.id = 6;
  CDBRecordProject copy;
  copy.CopyFrom(source);
  EXPECT_EQ(copy.BuildInsert(), source.BuildInsert());
  EXPECT_EQ(copy.BuildUpdate(), source.BuildUpdate());
  EXPECT_EQ(copy.GetTableName(), "project");
}
