// The nimbex command: the headless face of the library.
#include <CLI/CLI.hpp>

#include "cli/Commands.h"

int main(int argc, char** argv) {
  CLI::App app{"nimbex: build, inspect and render strm point-cloud streams"};
  app.require_subcommand(1);

  std::string infoStream;
  bool infoJson = false;
  CLI::App* info = app.add_subcommand("info", "Print the header, levels and attributes of a stream");
  info->add_option("STREAM", infoStream, "the stream's .strm file")->required();
  info->add_flag("--json", infoJson, "print one JSON object");

  CLI11_PARSE(app, argc, argv);
  if (info->parsed()) return RunInfo(infoStream, infoJson);
  return 1;
}
