// The page of a site that moves a person's certificate set between the PC and a phone: run by
// cscript as a browser would run the page's script. It creates the registered control by its
// ProgID and asks it for a whole receive from a phone (stored on a medium the person chooses)
// and then a whole send of a certificate the person chooses to another phone. The robot (or a
// person) answers the wizard the control opens.
//
//   cscript //nologo main_job.js [ko|en]
//
// Each line it prints is "what: result"; it exits 0 when both transfers completed.
var language = WScript.Arguments.length > 0 ? WScript.Arguments(0) : "en";

var relay = new ActiveXObject("CERTRELAYACTIVEX.CertRelayActiveXCtrl.1");
relay.SetLanguage(language == "ko" ? 18 : 9);

// Kind 1 gives the PC's side a registration number and shows an 8-digit code for the phone to
// type; the set may be stored on the hard disk or a removable disk.
var received = relay.ReceiveCert(1, 0x1 | 0x2);
WScript.Echo("receive: " + received);

// Kind 5 shows the certificate selection dialog, then asks for the 12-digit code the phone shows.
var sent = received == 0 ? relay.SendCert(5) : -1;
WScript.Echo("send: " + sent);

WScript.Quit(received == 0 && sent == 0 ? 0 : 1);
