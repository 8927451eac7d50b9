#include "tests/support/in_process_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "processor/run.h"

RunResult RunPelixWith(platform::Env& env, const TempNode& node,
                       const std::vector<std::string>& arguments) {
  // Beside the node directory, so that the run does not see it.
  const std::string output_path = node.dir().substr(0, node.dir().size() - 1) + ".out";
  std::fflush(stdout);
  std::fflush(stderr);
  RunResult result;
  pid_t child = ::fork();
  if (child == 0) {
    int out = ::open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || ::chdir(node.dir().c_str()) != 0) ::_exit(120);
    ::dup2(out, 1);
    ::dup2(out, 2);
    int status = RunPelix(env, arguments);
    std::fflush(stdout);
    ::_exit(status & 0xff);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::ifstream in(output_path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  result.output = text.str();
  ::unlink(output_path.c_str());
  return result;
}
