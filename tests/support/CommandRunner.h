// Runs a program, or the nimbex command (its path compiled in as NIMBEX_COMMAND), and
// collects what it prints on both of its outputs, for the tests of the command lines.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

struct CommandResult {
  int status;
  std::string out;
};

// Runs a shell command line and collects both of its outputs.
inline CommandResult RunProgram(const std::string& commandLine) {
  const std::string command = commandLine + " 2>&1";
  CommandResult result{-1, ""};
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> chunk;
  while (size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
    result.out.append(chunk.data(), n);
  result.status = WEXITSTATUS(pclose(pipe));
  return result;
}

#ifdef NIMBEX_COMMAND
// `shell` runs before the command in the same shell ("ulimit -n 256; ", "cd folder && ").
inline CommandResult RunNimbex(const std::string& arguments, const std::string& shell = "") {
  return RunProgram(shell + std::string(NIMBEX_COMMAND) + " " + arguments);
}
#endif

// A path as one shell word: the tests' paths hold blanks and apostrophes.
inline std::string Quoted(const std::filesystem::path& path) {
  return "\"" + path.string() + "\"";
}
