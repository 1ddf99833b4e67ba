// The Backup button: runs the selected definition.
#include "archive/Archive.h"
#include "main/backup.h"
#include "main/main.h"

namespace pv {

void TForm1::BuckupBtnClick(win::Control&) {
  const int i = BDList.itemIndex();
  if (i < 0) return;
  backup::RunContext ctx;
  ctx.owner = handle();
  ctx.status = &StatusBar1;
  ctx.archive = &Archive1;
  ctx.TempDir = TempDir;
  backup::RunBackup(*record(i), ctx);
}

}  // namespace pv
