// Members whose dialogs are the platform's own, shown on a display where the
// test answers them with the keyboard as a user would: the Open dialog, the
// chooser (its view button first, with nothing selected), the Save dialog.
//   cscript //nologo desktop_dialogs.js   (QUORVEL_TEST_FILES names a folder
//   holding item.txt and statement.txt.sign)
var files = new ActiveXObject("WScript.Shell").Environment("PROCESS")("QUORVEL_TEST_FILES");
var control = new ActiveXObject("Quorvel.DrennicQuorvel2");
control.QVAddFile("");
WScript.Echo("open " + control.errorNum);
control.QVSetPlainText("x");
control.QVAttachedSignBySN("");
WScript.Echo("chooser " + control.errorNum + " " + control.QVGetSignerCertInfo(1));
control.QVAttachedVerifySignedFile(files + "\\statement.txt.sign");
WScript.Echo("save " + control.errorNum);
