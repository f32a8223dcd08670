#include "cli_run.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

extern char** environ;

namespace orbelune::testing {

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, const std::string& configHome,
                 const std::string& workDir) {
    const std::string out = configHome + "/../stdout.txt";
    const std::string err = configHome + "/../stderr.txt";
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_CONFIG_HOME=", 0) != 0 && entry.rfind("HOME=", 0) != 0)
            env.push_back(entry);
    }
    // The child must only ever see the test's own settings.
    env.push_back("XDG_CONFIG_HOME=" + configHome);
    env.push_back("HOME=" + configHome);

    std::vector<char*> argv;
    std::string program = ORBELUNE_BIN_DIR "/orbelune-cli";
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    CliResult result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(120);
        if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) ::_exit(121);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(122);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadText(out);
    result.err = ReadText(err);
    return result;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace orbelune::testing
