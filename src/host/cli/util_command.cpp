// util and xme: the Utility services and the stack file tools support staff use to look
// into a design file.
#include <ctime>
#include <iostream>

#include "host/cli/command.h"
#include "orders/stack_files.h"
#include "platform/env.h"
#include "sending/ckutil.h"
#include "support/utility.h"

namespace larkedi::cli {
namespace {

// A DATETIME/DATE argument: empty means now.
bool ReadDateArgument(const std::string& text, Date* out, Cli& cli) {
  if (text.empty()) {
    *out = Date::Now();
    return true;
  }
  if (ParseDateTimeText(text, out)) return true;
  cli.exit_code = Fail(kExitUsage, "\"" + text +
                                       "\" is not a local date and time written "
                                       "YYYY-MM-DD HH:MM:SS or YYYY-MM-DD");
  return false;
}

void SetupUtil(CLI::App& app, Cli& cli) {
  auto* util = app.add_subcommand("util", "The Utility services: GUIDs, dates, locale, encoding");
  util->require_subcommand(1);

  util->add_subcommand("guid", "Print a new GUID (32 upper-case hexadecimal digits)")
      ->callback([&cli] {
        cli.Prepare();
        std::cout << Utility().GetGUID() << "\n";
      });
  util->add_subcommand("bias", "Print the time-zone bias in minutes (UTC = local time + bias)")
      ->callback([&cli] {
        cli.Prepare();
        std::cout << Utility().GetTimeZoneBias() << "\n";
      });
  util->add_subcommand("locale", "Print the Windows locale identifier of the user's locale")
      ->callback([&cli] {
        cli.Prepare();
        std::cout << Utility().GetLocale() << "\n";
      });

  static std::string when;
  auto* xs = util->add_subcommand(
      "xsdatetime", "Print a local date and time as XML Schema date-time with the zone offset");
  xs->add_option("DATETIME", when, "Local time, YYYY-MM-DD HH:MM:SS or YYYY-MM-DD (default: now)");
  xs->callback([&cli] {
    cli.Prepare();
    Date date;
    if (!ReadDateArgument(when, &date, cli)) return;
    std::cout << Utility().GetXsDateTime(date) << "\n";
  });

  static std::string xs_text;
  auto* from = util->add_subcommand(
      "from-xsdatetime", "Print the date and time of an XML Schema date-time (offset not applied)");
  from->add_option("TEXT", xs_text, "e.g. 2006-03-05T14:07:09-05:00")->required();
  from->callback([&cli] {
    cli.Prepare();
    Date date = Utility().GetDateFromXsDateTime(xs_text);
    if (date.IsZero()) {
      cli.exit_code = Fail(kExitUsage, "\"" + xs_text + "\" holds no date and time");
      return;
    }
    const DateParts p = date.Parts();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour,
                  p.Minute, p.Second);
    std::cout << buf << "\n";
  });

  static std::string enc_text, enc_password;
  auto* encode = util->add_subcommand("encode", "Encode a text, with an optional password");
  encode->add_option("TEXT", enc_text, "Text to encode")->required();
  encode->add_option("PASSWORD", enc_password, "Password (none when omitted)");
  encode->callback([&cli] {
    cli.Prepare();
    std::cout << Utility().Encode(enc_text, enc_password) << "\n";
  });

  static std::string dec_text, dec_password;
  auto* decode = util->add_subcommand("decode", "Decode a text made by encode");
  decode->add_option("TEXT", dec_text, "Encoded text")->required();
  decode->add_option("PASSWORD", dec_password, "Password it was encoded with");
  decode->callback([&cli] {
    cli.Prepare();
    std::cout << Utility().Decode(dec_text, dec_password) << "\n";
  });

  static std::string gmt_date;
  auto* gmt = util->add_subcommand("encrypted-gmt-date",
                                   "Print the encoded UTC date (yyyymmdd) of a local date");
  gmt->add_option("DATE", gmt_date, "Local time, YYYY-MM-DD or YYYY-MM-DD HH:MM:SS (default: now)");
  gmt->callback([&cli] {
    cli.Prepare();
    Date date;
    if (!ReadDateArgument(gmt_date, &date, cli)) return;
    std::cout << Utility().GetEncryptedGMTDate(date) << "\n";
  });
}

void SetupXme(CLI::App& app, Cli& cli) {
  auto* xme = app.add_subcommand("xme", "Encrypt, decrypt and archive stacked design files");
  xme->require_subcommand(1);

  static std::string enc_file;
  auto* encrypt = xme->add_subcommand(
      "encrypt",
      "Replace FILE by its encrypted single-entry archive, as the spool stores it (a file that "
      "already is an encrypted archive is refused)");
  encrypt->add_option("FILE", enc_file, "Plain file")->required();
  encrypt->callback([&cli] {
    cli.Prepare();
    Err err;
    CKUtil().EnCryptFile(enc_file, &err);
    if (err) cli.exit_code = Fail(kExitMissing, "cannot encrypt: " + err.Description);
  });

  static std::string dec_file;
  auto* decrypt = xme->add_subcommand("decrypt", "Print the plain text of an encrypted FILE");
  decrypt->add_option("FILE", dec_file, "Encrypted design file (.xme)")->required();
  decrypt->callback([&cli] {
    cli.Prepare();
    Err err;
    XmeFailure why = XmeFailure::kNone;
    std::string text = CKUtil().DeCryptFile(dec_file, &err, &why);
    if (err) {
      cli.exit_code = Fail(kExitMissing, std::string("cannot decrypt (") + XmeFailureText(why) +
                                             "): " + err.Description);
      return;
    }
    std::cout << text;
    if (!text.empty() && text.back() != '\n') std::cout << "\n";
  });

  static std::string folder;
  auto* pack = xme->add_subcommand(
      "pack",
      "Archive FOLDER as sending does: add its *.xme files to the yearly archive "
      "archive_<yyyy>.zip, then delete exactly the files that were packed, and only once the "
      "archive was written (LastPo.xml and symbolic links stay)");
  pack->add_option("FOLDER", folder, "Archive folder")->required();
  pack->callback([&cli] {
    cli.Prepare();
    if (!Env::Default()->IsDirectory(folder)) {
      cli.exit_code = Fail(kExitMissing, "cannot pack " + folder + ": no such folder");
      return;
    }
    std::string zip_path;
    if (Err err = ArchiveXmeFolder(folder, &zip_path)) {
      cli.exit_code = Fail(kExitMissing, "cannot pack " + folder + ": " + err.Description);
      return;
    }
    std::cout << zip_path << "\n";
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupUtil);
LARKEDI_REGISTER_COMMAND(SetupXme);

}  // namespace larkedi::cli
