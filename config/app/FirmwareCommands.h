// "FirmWare update..." as the form's command: the dialog, the link opened at the boot speed, and
// the boot loader run from the form's timer, so that the output list has been painted before the
// form blocks. The loader's result code becomes output rows.
#pragma once

class CQeltaConfigView;

namespace qelta {

// "FirmWare update...": dialog, link opened at 4800 baud, upload armed on timer 1.
void StartFirmwareUpload(CQeltaConfigView& view);

// The armed upload (from the timer): Boot, close the link, report the result.
void RunFirmwareUpload(CQeltaConfigView& view);

// Registers "FirmWare update..." on the form.
void InstallFirmwareUploadCommands(CQeltaConfigView& view);

}  // namespace qelta
