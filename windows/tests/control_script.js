// Drives the registered control from JScript as an automation client does:
// both programmatic identifiers, members, properties, failures and the
// dialogs a file member opens (answered by the script UI).
//   cscript //nologo control_script.js   (QUORVEL_TEST_FILES names a folder
//   holding item.txt)
var failures = 0;
function check(condition, what) {
  if (!condition) {
    WScript.Echo("FAIL: " + what);
    failures++;
  }
}

function throws(call) {
  try {
    call();
  } catch (e) {
    return e.number;
  }
  return 0;
}

var environment = new ActiveXObject("WScript.Shell").Environment("PROCESS");
var files = environment("QUORVEL_TEST_FILES");
var first = new ActiveXObject("Quorvel.DrennicQuorvel2");
var second = new ActiveXObject("Quorvel.DrennicQuorvel2.1");
check(first.getVersion() == "2.0.59.4" && second.getVersion() == "2.0.59.4",
      "both programmatic identifiers create the control");

// Texts go through code page 936 unless the caller picks another.
check(first.QVBase64Encode("\u4E2D") == "1tA=\n", "QVBase64Encode in code page 936");
check(first.QVBase64Decode("1tA=") == "\u4E2D", "QVBase64Decode in code page 936");
first.QVSetCodePage(65001);
check(first.QVBase64Encode("\u4E2D") == "5Lit\n", "QVBase64Encode in UTF-8");
check(second.QVBase64Encode("\u4E2D") == "1tA=\n", "each object keeps its own code page");
second.QVBase64Encode("\u0E01");
check(second.errorNum < 0, "a character code page 936 lacks");

check(second.QVHashAndBase64Encode("abc") == "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=\n",
      "QVHashAndBase64Encode with SHA-1");

// The certificate utilities read the stores: the platform test left its CA
// certificate in MY.
check(first.QVGetCertExtension("CN=Quorvel test ca", "2.5.29.19") ==
          "Subject Type=CA, Path Length Constraint=None" && first.errorNum == 0,
      "QVGetCertExtension of a certificate in MY");
first.QVGetCertExtension("CN=Nobody", "2.5.29.19");
check(first.errorNum == -10005, "QVGetCertExtension of an unknown DN");
check(first.IsCertExists("CN=Quorvel test ca") == 1, "IsCertExists");
// Existence is exact, in either order of the name's parts, and limited to MY.
var existence = [["C=CN, O=Quorvel, CN=\u5F20\u4E09", 1], ["C=CN,O=Quorvel,CN=\u5F20\u4E09", 1],
                 ["CN=\u5F20\u4E09, O=Quorvel, C=CN", 1], ["C=CN, O=quorvel, CN=\u5F20\u4E09", 0],
                 ["CN=\u5F20\u4E09", 0], ["CN=Quorvel keyless", 1], ["", 0],
                 [new Array(258).join(","), 0]];
for (var i = 0; i < existence.length; i++) {
  check(first.IsCertExists(existence[i][0]) == existence[i][1] &&
            (first.errorNum == 0) == (existence[i][0].length > 0 && existence[i][0].charAt(0) != ","),
        "IsCertExists(\"" + existence[i][0].substring(0, 40) + "\")");
}
var issued = first.QVEnumCertsDNByIssers("CN=Quorvel test ca");
check(issued.indexOf("CN=Quorvel test ca") >= 0 && issued.indexOf("CN=Quorvel signer") >= 0,
      "QVEnumCertsDNByIssers lists the CA and the signer it issued");

// Signing with the identity the test put into MY: the signature is printed
// for openssl to verify, over the text's bytes in code page 936.
first.QVSetCodePage(936);
first.QVSetPlainText("\u4E2D\u6587 text");
var signature = first.QVAttachedSign("CN=Quorvel signer");
check(first.errorNum == 0 && signature.length > 0, "QVAttachedSign");
WScript.Echo("BEGIN SIGNATURE\n" + signature + "END SIGNATURE");
// The control verifies its own signature: the text comes back, and the signer.
second.QVAttachedVerify(signature);
check(second.errorNum == 0 && second.QVGetPlainText() == "\u4E2D\u6587 text" &&
          second.QVGetSignerCertInfo(1) == "CN=Quorvel signer",
      "QVAttachedVerify of the control's own signature");
second.QVAttachedVerify(environment("QUORVEL_PEER_SIGNATURE"));
check(second.errorNum == 0 && second.QVGetPlainText() == "\u4E2D\u6587 text",
      "QVAttachedVerify of openssl's signature");
// A signature that does not verify: the platform's NTE_BAD_SIGNATURE in errorCode.
second.QVAttachedVerify(environment("QUORVEL_TAMPERED_SIGNATURE"));
check(second.errorNum == -10010 && (second.errorCode >>> 0) == 0x80090006,
      "QVAttachedVerify of a tampered message");
var detached = first.QVDetachedSign("\u4E2D\u6587 text", "CN=Quorvel signer");
second.QVDetachedVerify(detached, "\u4E2D\u6587 text");
check(first.errorNum == 0 && second.errorNum == 0, "a detached signature, verified");
second.QVDetachedVerify(detached, "\u4E2D\u6587 texT");
check(second.errorNum == -10010, "a detached signature over other text");

// Envelopes in each content cipher: the control's own, printed for openssl
// to open, and openssl's (QUORVEL_PEER_ENVELOPES: "name=base64" pairs
// separated by spaces).
var ciphers = {"rc4": "1.2.840.113549.3.4", "des3": "1.2.840.113549.3.7",
               "aes128": "2.16.840.1.101.3.4.1.2", "aes256": "2.16.840.1.101.3.4.1.42",
               "rc2": "1.2.840.113549.3.2", "des": "1.3.14.3.2.7"};
for (var name in ciphers) {
  first.QVSetSymmetryArithmetic(ciphers[name]);
  first.QVSetPlainText("\u4E2D\u6587 text");
  var envelope = first.QVEncryptedEnvelop("CN=Quorvel signer");
  second.QVDecryptEnvelop(envelope);
  check(first.errorNum == 0 && second.errorNum == 0 &&
            second.QVGetPlainText() == "\u4E2D\u6587 text" &&
            second.QVGetReciptCertInfo(1) == "CN=Quorvel signer",
        "QVEncryptedEnvelop in " + name + ", then QVDecryptEnvelop");
  WScript.Echo("ENVELOPE " + name + " " + envelope.replace(/\n/g, ""));
}
first.QVSetSymmetryArithmetic(ciphers["rc4"]);
var peerEnvelopes = environment("QUORVEL_PEER_ENVELOPES").split(" ");
for (var i = 0; i < peerEnvelopes.length; i++) {
  var pair = peerEnvelopes[i].split("=");
  second.QVDecryptEnvelop(peerEnvelopes[i].substring(pair[0].length + 1));
  check(second.errorNum == 0 && second.QVGetPlainText() == "\u4E2D\u6587 text",
        "QVDecryptEnvelop of openssl's envelope in " + pair[0]);
}
first.QVSetPlainText("\u4E2D\u6587 text");
var signedEnvelope = first.QVSignedAndEncryptedEnvelop("CN=Quorvel signer", "CN=Quorvel signer");
second.QVDecryptedAndVerifiedEnvelop(signedEnvelope);
check(first.errorNum == 0 && second.errorNum == 0 &&
          second.QVGetPlainText() == "\u4E2D\u6587 text" &&
          second.QVGetSignerCertInfo(1) == "CN=Quorvel signer",
      "a signed envelope, opened and verified");
second.QVDecryptEnvelop(signature);
check(second.errorNum < 0, "QVDecryptEnvelop of a signed message");

// Raw signatures: the control's own and openssl's (PKCS#1 v1.5 over SHA-1).
first.QVSetPlainText("\u4E2D\u6587 text");
var raw = first.QVRawSign("CN=Quorvel signer");
check(first.errorNum == 0 && raw.length > 0, "QVRawSign");
second.QVRawVerify(raw, "CN=Quorvel signer", "\u4E2D\u6587 text");
check(second.errorNum == 0, "QVRawVerify of the control's raw signature");
second.QVRawVerify(environment("QUORVEL_PEER_RAW_SIGNATURE"), "CN=Quorvel signer",
                   "\u4E2D\u6587 text");
check(second.errorNum == 0, "QVRawVerify of openssl's raw signature");
second.QVRawVerify(raw, "CN=Quorvel signer", "\u4E2D\u6587 texT");
check(second.errorNum < 0, "QVRawVerify over other text");
first.QVSetPlainText("x");
first.QVAttachedSign("CN=Nobody");
check(first.errorNum == -10005, "QVAttachedSign with an unknown DN");

// Signers named by serial number and issuer, and picked in the chooser.
first.QVSetPlainText("x");
first.QVAttachedSignByIssuerSN("1001", "CN=Quorvel test ca");
check(first.errorNum == 0 && first.QVGetSignerCertInfo(1) == "CN=Quorvel signer",
      "QVAttachedSignByIssuerSN");
first.QVSetPlainText("x");
first.QVAttachedSignByIssuerSN("1002", "CN=Quorvel test ca");
check(first.errorNum == -10005, "QVAttachedSignByIssuerSN of a serial number nobody has");
first.QVSetPlainText("x");
first.QVAttachedSignBySN("");
check(first.errorNum == 0, "QVAttachedSignBySN with the signer picked in the chooser");

// Signatures made in server mode, which shows no dialog, are verified by
// another object.
var quiet = new ActiveXObject("Quorvel.DrennicQuorvel2");
quiet.QVServerMode = 1;

// Every signing member by DN or by issuer and serial number, the key-spec
// members with the signer whose key is a signature key, each signature
// verified by another object.
var signatureSerial = environment("QUORVEL_SIGNATURE_SERIAL");
var signingMembers = [
    ["QVAttachedSign", ["CN=Quorvel signer"]],
    ["QVUseKeySpecAttachedSign", ["CN=Quorvel signature"]],
    ["QVDetachedSign", ["abc", "CN=Quorvel signer"]],
    ["QVUseKeySpecDetachedSign", ["abc", "CN=Quorvel signature"]],
    ["QVRawSign", ["CN=Quorvel signer"]],
    ["QVUseKeySpecRawSign", ["CN=Quorvel signature"]],
    ["QVAttachedSignByIssuerSN", ["1001", "CN=Quorvel test ca"]],
    ["QVUseKeySpecAttachedSignByIssuerSN", [signatureSerial, "CN=Quorvel test ca"]],
    ["QVDetachedSignByIssuerSN", ["abc", "1001", "CN=Quorvel test ca"]],
    ["QVUseKeySpecDetachedSignByIssuerSN", ["abc", signatureSerial, "CN=Quorvel test ca"]],
    ["QVAdvanceAttachedSign", ["CN=Quorvel signer"]],
    ["QVUseSpecAdvanceAttachedSign", ["CN=Quorvel signature"]],
    ["QVAdvanceDetachedSign", ["abc", "CN=Quorvel signer"]],
    ["QVUseSpecAdvanceDetachedSign", ["abc", "CN=Quorvel signature"]]];
for (var i = 0; i < signingMembers.length; i++) {
  var member = signingMembers[i][0];
  var a = signingMembers[i][1];
  quiet.QVSetPlainText("x");
  var made = a.length == 1 ? quiet[member](a[0])
           : a.length == 2 ? quiet[member](a[0], a[1])
                           : quiet[member](a[0], a[1], a[2]);
  var signer = quiet.errorNum == 0 ? quiet.QVGetSignerCertInfo(1) : "";
  if (member.indexOf("RawSign") >= 0) {
    second.QVRawVerify(made, signer, "x");
  } else if (member.indexOf("Detached") >= 0) {
    second.QVDetachedVerify(made, "abc");
  } else {
    second.QVAttachedVerify(made);
  }
  var expected = member.indexOf("Spec") >= 0 ? "CN=Quorvel signature" : "CN=Quorvel signer";
  check(signer == expected && second.errorNum == 0, member + ", then verified: " + signer);
}
// Outside server mode an exchange key's holder is no candidate: the chooser
// is shown instead, and cancelled.
first.QVSetPlainText("x");
first.QVUseKeySpecAttachedSign("CN=Quorvel signer");
check(first.errorNum == -10005, "QVUseKeySpecAttachedSign by an exchange key's holder");

// A signature of the hand-built path, printed for openssl to verify.
quiet.QVSetPlainText("\u4E2D\u6587 text");
var byHand = quiet.QVAdvanceAttachedSign("CN=Quorvel signer");
check(quiet.errorNum == 0, "QVAdvanceAttachedSign");
WScript.Echo("BEGIN HAND-BUILT\n" + byHand + "END HAND-BUILT");

// The hand-built path's failures, with what they leave in errorCode: the
// platform's value, none, or the engine's own number. SHA-256 fails as the
// key's full RSA provider signs: it has no SHA-256 (NTE_BAD_ALGID).
var handBuilt = [["2.16.840.1.101.3.4.2.1", "abc", -10031, 0x80090008],
                 ["1.2.3.4", "abc", -10029, 0],
                 ["1.3.14.3.2.26", "abd", -10032, -10032]];
for (var i = 0; i < handBuilt.length; i++) {
  quiet.QVSetDigestArithmetic(handBuilt[i][0]);
  var detachedByHand = quiet.QVAdvanceDetachedSign("abc", "CN=Quorvel signer");
  if (quiet.errorNum == 0) second.QVAdvanceDetachedVerify(detachedByHand, handBuilt[i][1]);
  var failed = quiet.errorNum != 0 ? quiet : second;
  check(failed.errorNum == handBuilt[i][2] && failed.errorCode == (handBuilt[i][3] | 0),
        "the hand-built path with digest " + handBuilt[i][0] + " over " + handBuilt[i][1] + ": " +
            failed.errorNum + ", 0x" + (failed.errorCode >>> 0).toString(16));
}
quiet.QVSetDigestArithmetic("1.3.14.3.2.26");

// The signer checks decide verification.
var signerChecks = [["CN=Quorvel expired", "QVAttachedVerify", -10011],
                    ["CN=Quorvel expired", "QVAfterwardsVerify", 0],
                    ["CN=Quorvel orphan", "QVAttachedVerify", -10014],
                    ["CN=Quorvel revoked", "QVAttachedVerify", -10012]];
for (var i = 0; i < signerChecks.length; i++) {
  quiet.QVSetPlainText("x");
  var checked = quiet.QVAttachedSign(signerChecks[i][0]);
  second[signerChecks[i][1]](checked);
  check(quiet.errorNum == 0 && second.errorNum == signerChecks[i][2],
        signerChecks[i][1] + " of a signature by " + signerChecks[i][0] + ": " + quiet.errorNum +
            ", " + second.errorNum);
}
quiet.QVSetPlainText("x");
quiet.QVAttachedSign("CN=Quorvel keyless");
check(quiet.errorNum == -10015, "QVAttachedSign by a certificate without a key");

second.MaxCompSize = 4096;
check(second.MaxCompSize == 4096, "a property put, then read");
check(first.MaxCompSize != 4096, "each object keeps its own properties");

// A failure leaves its number and message; the next success clears them.
first.QVAddFormItem("");
check(first.errorNum < 0 && first.errMsg.length > 0, "errorNum and errMsg after a failure");
first.QVBase64Encode("x");
check(first.errorNum == 0 && first.errMsg == "", "errorNum and errMsg after a success");

// Arguments the members cannot take are refused before they run.
check(throws(function () { first.QVBase64Encode(first); }) != 0, "an object argument");
check(throws(function () { first.QVBase64Encode(); }) != 0, "a missing argument");
check(throws(function () { first.NoSuchMember(); }) != 0, "an unknown member");

// The container members: items, a file named by the caller, one picked in
// the Open dialog, and the failures.
second.QVAddFormItem("ab");
check(second.errorNum == 0, "QVAddFormItem");
second.QVAddFormItem("");
check(second.errorNum < 0, "QVAddFormItem of nothing fails");
second.QVAddFile(files + "\\item.txt");
check(second.errorNum == 0, "QVAddFile of a named file");
second.QVAddFile(files + "\\missing.txt");
check(second.errorNum < 0, "QVAddFile of a missing file fails");
second.QVAddFile("");
check(second.errorNum == 0, "QVAddFile of the file picked in the Open dialog");
second.QVAddFile("");
check(second.errorNum < 0, "QVAddFile when the Open dialog is cancelled");

// Names in Chinese over three parts, found in either order; envelopes only
// for other parties; a failed opening clears the recipient and keeps the text.
var zhang = "C=CN, O=Quorvel, CN=\u5F20\u4E09";
second.QVSetPlainText("reversed");
var reversed = second.QVSignedAndEncryptedEnvelop("CN=\u5F20\u4E09, O=Quorvel, C=CN",
                                                  "CN=\u5F20\u4E09, O=Quorvel, C=CN");
check(second.errorNum == 0 && second.QVGetSignerCertInfo(1) == zhang &&
          second.QVGetReciptCertInfo(1) == zhang,
      "a signed envelope by and for DNs given in the other order");
second.QVDecryptedAndVerifiedEnvelop(reversed);
check(second.errorNum == 0 && second.QVGetPlainText() == "reversed", "the envelope opened");
second.QVDecryptEnvelop("AAAA");
check(second.errorNum < 0 && second.QVGetReciptCertInfo(1) == "" &&
          second.QVGetPlainText() == "reversed",
      "a failed opening clears the recipient and keeps the received text");
quiet.QVSetPlainText("x");
quiet.QVEncryptedEnvelop("CN=Quorvel expired");
check(quiet.errorNum == -10005, "no envelope for a certificate only in MY");
quiet.QVSetPlainText("x");
var byOrphan = quiet.QVSignedAndEncryptedEnvelop("CN=Quorvel orphan", "CN=Quorvel signer");
second.QVDecryptedAndVerifiedEnvelop(byOrphan);
check(quiet.errorNum == 0 && second.errorNum == -10014,
      "a signed envelope whose signer's issuer no store holds");

// Large messages are compressed from the threshold on, and verify.
var large = new Array(60001).join("x");
quiet.MaxCompSize = 1000000;
quiet.QVSetPlainText(large);
var whole = quiet.QVAttachedSign("CN=Quorvel signer");
quiet.MaxCompSize = 51200;
quiet.QVSetPlainText(large);
var packed = quiet.QVAttachedSign("CN=Quorvel signer");
second.QVAttachedVerify(packed);
check(whole.substring(0, 1) == "M" && packed.substring(0, 3) == "H4s" && second.errorNum == 0 &&
          second.QVGetPlainText() == large,
      "a large message compressed (gzip) from the threshold on, and verified");

// Form items and a file travel inside a signature; the file is saved where
// the Save dialog says.
quiet.QVAddFormItem("amount=100.00");
quiet.QVAddFormItem("payee=\u674E\u56DB");
quiet.QVAddFile(files + "\\item.txt");
second.QVAttachedVerify(quiet.QVAttachedSign("CN=Quorvel signer"));
check(second.errorNum == 0 && second.QVGetFormItem() == "amount=100.00" &&
          second.QVGetFormItem() == "payee=\u674E\u56DB" && second.QVGetFile() == "item.txt",
      "form items and a file inside a signature");

// The file members: openssl's signed file verified and its content saved
// where the Save dialog says; a file encrypted for a certificate (in AES, for
// openssl to open) and saved.
second.QVAttachedVerifySignedFile(files + "\\statement.txt.sign");
check(second.errorNum == 0 && second.QVGetSignerCertInfo(1) == "CN=Quorvel signer",
      "QVAttachedVerifySignedFile");
second.QVSetSymmetryArithmetic(ciphers["aes256"]);
second.QVAddFileForEncrypt(files + "\\item.txt");
second.QVEncryptFileAndSave(environment("QUORVEL_SIGNER_CERTIFICATE"));
check(second.errorNum == 0, "QVAddFileForEncrypt, then QVEncryptFileAndSave");
second.QVEncryptFileAndSave(environment("QUORVEL_SIGNER_CERTIFICATE"));
check(second.errorNum == -10001, "QVEncryptFileAndSave with nothing added");

WScript.Echo(failures == 0 ? "control script checks passed" : "control script checks failed");
WScript.Quit(failures == 0 ? 0 : 1);
