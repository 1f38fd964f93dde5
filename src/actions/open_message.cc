#include "actions/open_message.h"

#include "console/dialog_box.h"
#include "console/layout.h"
#include "console/text.h"
#include "core/file_names.h"
#include "core/tool_commands.h"
#include "platform/files.h"

namespace actions {

namespace {

constexpr long long DefaultBodyLines = 1000;
// Body lines per kilobyte asked for: a mail body line averages about 77 bytes.
constexpr double BodyLinesPerKilobyte = 13.3;

// Asks how many kilobytes to fetch, in the green box, until the answer is a
// number other than 0. Returns false when the user gave up with Esc.
bool askKilobytes(core::Program& program, double* kilobytes) {
  console::Console& c = program.console;
  program.state.redrawWithoutKey = true;  // the next pass redraws over the box
  int row = c.cursorRow();
  c.setColour(console::White, console::Green);
  namespace layout = console::layout;
  const std::string blank(layout::SizeBoxWidth, ' ');
  console::drawBox(c, layout::BoxTopRow, layout::SizeBoxColumn,
                   {blank, blank, "   Hoeveel KiloBytes ophalen           ", blank, blank});
  bool cancelled = false;
  double answer = 0;
  while (answer == 0 && !cancelled) {
    c.placeCursor(layout::SizeAnswerRow, layout::SizeAnswerColumn);
    c.print("? ");
    answer = console::toNumber(console::readTypedValue(c, &cancelled));
  }
  c.setColour(console::LightGrey, console::Black);
  c.placeCursor(row, 0);
  *kilobytes = answer;
  return !cancelled;
}

// The body-line count asked of the tool for an answer in kilobytes.
long long bodyLinesForKilobytes(double kilobytes) {
  long long lines = console::roundHalfEven(kilobytes * BodyLinesPerKilobyte);
  // A negative count would make a malformed server command; ask for no body.
  return lines < 0 ? 0 : lines;
}

}  // namespace

void openMessage(core::Program& program, int a, int m, bool askSize) {
  core::State& s = program.state;
  s.cell(a, m) &= ~core::OpenRequested;

  long long lines = DefaultBodyLines;
  if (askSize) {
    double kilobytes = 0;
    if (!askKilobytes(program, &kilobytes)) return;
    lines = bodyLinesForKilobytes(kilobytes);
  }
  const std::string file = core::messageFileName(a, m);
  platform::ToolRun fetch =
      core::toolRun(s, a, {"stop", console::toText(m), console::toText(lines)}, file);
  if (core::runTool(program, fetch) != platform::ToolOutcome::Done) {
    console::showOutcome(program.console, "  Er is iets mis, afgebroken.  ");
    return;
  }
  // The viewer may be an instance already running elsewhere, so it gets the
  // file's full path rather than one relative to our working directory.
  std::string directory = program.system.currentDirectory();
  program.system.startDetached(directory.empty() ? file
                                                 : directory + platform::PathSeparator + file);
}

}  // namespace actions
