// foliowright encode-password: prints the value to write as PasswordN in a definition file with
// EncryptPassword=Y. The password comes from the argument, a prompt without echo, or stdin.
#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <string>

#include "commands.h"
#include "tabrix/password.h"

namespace foliowright {
namespace {

const char* const kHelp =
    "Usage: foliowright encode-password --user USER [PASSWORD]\n"
    "\n"
    "Prints the encoded form of a data source's password, the value to write as PasswordN in a\n"
    "definition file whose [Data Source] section has EncryptPassword=Y. USER is that data\n"
    "source's UserN value: it is the key, so the same password encodes differently per user.\n"
    "\n"
    "Without PASSWORD the password is asked for without echo on a terminal, or read as the first\n"
    "line of standard input (echo \"$PW\" | foliowright encode-password --user reporter). Giving it\n"
    "as an argument leaves it in the shell history and the process list.\n"
    "\n"
    "The encoding is obfuscation, not encryption: anyone who has the definition file and this\n"
    "program can recover the password. Protect the definition file itself (file permissions) and\n"
    "give the database user no more rights than the report needs.\n"
    "\n"
    "Options:\n"
    "  --user USER   the data source's UserN value (required)\n"
    "  -h, --help    show this help\n"
    "\n"
    "Exit status: 0 printed, 2 usage error or no password given.\n"
    "The user guide is docs/guide/ in the Tabrix sources.\n";

// One line from standard input; with a terminal, asked for with echo turned off.
bool ReadPassword(const std::string& user, std::string& password) {
  const bool terminal = ::isatty(STDIN_FILENO);
  termios saved{};
  if (terminal) {
    std::cerr << "Password for " << user << ": " << std::flush;
    if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
      termios quiet = saved;
      quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
      ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
  }
  const bool read = static_cast<bool>(std::getline(std::cin, password));
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::cerr << "\n";
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return read;
}

}  // namespace

SubCommand EncodePasswordCommand() {
  SubCommand command;
  command.name = "encode-password";
  command.summary = "print the encoded form of a password for EncryptPassword=Y";
  command.help = kHelp;
  command.define = [](CLI::App& app) -> CommandAction {
    auto user = std::make_shared<std::string>();
    auto password = std::make_shared<std::string>();
    app.add_option("--user", *user)->required();
    auto argument = app.add_option("PASSWORD", *password);
    return [user, password, argument]() {
      if (argument->count() == 0 && !ReadPassword(*user, *password)) {
        std::cerr << "foliowright: encode-password: no password given (argument, prompt or standard input)\n";
        return kExitUsage;
      }
      std::cout << tabrix::EncodePassword(*password, *user) << "\n";
      return kExitOk;
    };
  };
  return command;
}

}  // namespace foliowright
