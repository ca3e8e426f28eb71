// A page's script, run by cscript: creates the control by its ProgID and calls every member.
// Each line it prints is "what: result"; the stand-in relay library logs what reached it. The
// driver (control_wine_test.py) programs the library's results in this order:
//   0, 21500, 1001, -1, 0, 0, 0, R0 (calls in again first), 0
function show(what, value) {
  WScript.Echo(what + ": " + value);
}
function tryCall(what, call) {
  try {
    show(what, call());
  } catch (e) {
    show(what, "error " + (e.number >>> 0).toString(16));
  }
}

var ctl = new ActiveXObject("CERTRELAYACTIVEX.CertRelayActiveXCtrl.1");

// Results: only the library's 0 is success.
show("SendCert(5) -> 0", ctl.SendCert(5));
show("SendCert(5) -> 21500", ctl.SendCert(5));
show("SendCert(5) -> 1001", ctl.SendCert(5));
show("SendCert(5) -> -1", ctl.SendCert(5));

// Transfer mode: 3 is refused and changes nothing, 2 is taken.
show("SetTransferMode(3)", ctl.SetTransferMode(3));
show("ReceiveCert(1, 523)", ctl.ReceiveCert(1, 523));
show("SetTransferMode(2)", ctl.SetTransferMode(2));

// Secure-disk settings: a 70-character version keeps 63; Hangul is cut on a character boundary;
// an address that is not http or https, or a text without an EUC-KR form, changes nothing.
var seventy = "";
for (var i = 0; i < 70; ++i) seventy += String.fromCharCode(48 + i % 10);
ctl.SetSecureDiskConfig(seventy, "https://disk.example/setup");
show("SendCert(4) with a 70-character version", ctl.SendCert(4));
ctl.SetSecureDiskConfig("file-version", "file:///c:/windows/system32/calc.exe");
ctl.SetSecureDiskConfig("\ud83d\ude00", "http://disk.example/");
var hangul = "";
for (var j = 0; j < 32; ++j) hangul += "\ud55c";
ctl.SetSecureDiskConfig(hangul, "");
show("Recipient(8)", ctl.Recipient(8));

// Script calling in while the wizard runs: the library calls a control of its own; every
// member refuses without reaching the library.
show("Sender() with a nested page call", ctl.Sender());

// Language and encodings.
ctl.SetLanguage(1033);
ctl.SetLanguage(18);
ctl.SetLanguage(9);
ctl.SetCharEncoding(0);
ctl.SetCharEncoding(1);
ctl.SetServerCharEncoding(7);

// Names resolve whatever their case; bad arguments are the script's errors.
show("sendcert(2)", ctl.sendcert(2));
tryCall("SendCert()", function () { return ctl.SendCert(); });
tryCall("SendCert(\"x\")", function () { return ctl.SendCert("x"); });
tryCall("NoSuchMember()", function () { return ctl.NoSuchMember(); });
show("SetTransferMode(\"1\")", ctl.SetTransferMode("1"));
show("done", "");
