<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="de">
<context>
    <name>CQuillmateDlg</name>
    <message>
        <source>Logdatei &quot;Schreiben&quot; wählen</source>
        <translation>Choose the &quot;Write&quot; log file</translation>
    </message>
    <message>
        <source>Logdatei &quot;Lesen&quot; wählen</source>
        <translation>Choose the &quot;Read&quot; log file</translation>
    </message>
    <message>
        <source>Log Files (*.txt);;All Files (*)</source>
        <translation>Log Files (*.txt);;All Files (*)</translation>
    </message>
    <message>
        <source>Konfiguration lesen</source>
        <translation>Load configuration</translation>
    </message>
    <message>
        <source>Konfiguration schreiben</source>
        <translation>Save configuration</translation>
    </message>
    <message>
        <source>Data Files (*.KOVRA_DesfireSet *.KVMFDat);;All Files (*)</source>
        <translation>Data Files (*.KOVRA_DesfireSet *.KVMFDat);;All Files (*)</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Konfiguration</source>
        <translation>Configuration</translation>
    </message>
    <message>
        <source>Schlüssel anzeigen</source>
        <translation>Show keys</translation>
    </message>
    <message>
        <source>Lesen:</source>
        <translation>Read:</translation>
    </message>
    <message>
        <source>Schreiben:</source>
        <translation>Write:</translation>
    </message>
    <message>
        <source>Lesen/Schreiben:</source>
        <translation>Read/Write:</translation>
    </message>
    <message>
        <source>Unverschlüsselt</source>
        <translation>Plain</translation>
    </message>
    <message>
        <source>Unverschlüsselt mit MAC</source>
        <translation>Plain with MAC</translation>
    </message>
    <message>
        <source>Voll verschlüsselt</source>
        <translation>Fully enciphered</translation>
    </message>
    <message>
        <source>Daten</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>Jede geschriebene Karte wird zurückgelesen und verglichen.</source>
        <translation>Every written card is read back and compared.</translation>
    </message>
    <message>
        <source>Lesen</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>Schreiben</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Logdateien</source>
        <translation>Log files</translation>
    </message>
    <message>
        <source>Schreiben protokollieren</source>
        <translation>Log writing</translation>
    </message>
    <message>
        <source>Lesen protokollieren</source>
        <translation>Log reading</translation>
    </message>
    <message>
        <source>Schliessen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>keine Zahl</source>
        <translation>no number</translation>
    </message>
    <message>
        <source>Dezimal</source>
        <translation>Decimal</translation>
    </message>
    <message>
        <source>Hexadezimal</source>
        <translation>Hexadecimal</translation>
    </message>
    <message>
        <source>Zahlenformat</source>
        <translation>Number format</translation>
    </message>
    <message>
        <source>Binär</source>
        <translation>Binary</translation>
    </message>
    <message>
        <source>ASCII</source>
        <translation>ASCII</translation>
    </message>
    <message>
        <source>Darstellung</source>
        <translation>Representation</translation>
    </message>
    <message>
        <source>normal</source>
        <translation>normal</translation>
    </message>
    <message>
        <source>gedreht</source>
        <translation>reversed</translation>
    </message>
    <message>
        <source>Ausrichtung</source>
        <translation>Byte order</translation>
    </message>
    <message>
        <source>Drücken Sie F1, um die Bedienungsanleitung zu öffnen</source>
        <translation>Press F1 to open the user guide</translation>
    </message>
    <message>
        <source>Zur Anzeige der Bedienungsanleitung muss ein PDF-Betrachter installiert sein (zum Beispiel aus dem Paket evince oder okular).
Die Anleitung liegt hier: %1</source>
        <translation>A PDF viewer must be installed to show the user guide (for example from the package evince or okular).
The guide is here: %1</translation>
    </message>
    <message>
        <source>&amp;App ID:</source>
        <translation>&amp;App ID:</translation>
    </message>
    <message>
        <source>&amp;File ID:</source>
        <translation>&amp;File ID:</translation>
    </message>
    <message>
        <source>Länge in &amp;Bytes:</source>
        <translation>Length in &amp;bytes:</translation>
    </message>
    <message>
        <source>Schlüssel für %1</source>
        <translation>Key for %1</translation>
    </message>
    <message>
        <source>&amp;Card Master Key:</source>
        <translation>&amp;Card Master Key:</translation>
    </message>
    <message>
        <source>App &amp;Master Key:</source>
        <translation>App &amp;Master Key:</translation>
    </message>
    <message>
        <source>&amp;Key Anzahl:</source>
        <translation>Number of &amp;keys:</translation>
    </message>
    <message>
        <source>File Zu&amp;griff:</source>
        <translation>File access:</translation>
    </message>
    <message>
        <source>Aut&amp;o inkrement</source>
        <translation>Aut&amp;o increment</translation>
    </message>
    <message>
        <source>Führende &amp;Nullen</source>
        <translation>Leading &amp;zeros</translation>
    </message>
    <message>
        <source>Zusatz&amp;text zulassen</source>
        <translation>Allow e&amp;xtra text</translation>
    </message>
    <message>
        <source>Nach dem Schreiben &amp;prüfen</source>
        <translation>&amp;Verify after writing</translation>
    </message>
    <message>
        <source>E&amp;inzeln</source>
        <translation>Si&amp;ngle</translation>
    </message>
    <message>
        <source>&amp;Einzeln</source>
        <translation>&amp;Single</translation>
    </message>
    <message>
        <source>&amp;Zyklisch</source>
        <translation>C&amp;yclic</translation>
    </message>
    <message>
        <source>&amp;Reset Status</source>
        <translation>&amp;Reset status</translation>
    </message>
    <message>
        <source>Konfiguration &amp;lesen</source>
        <translation>&amp;Load configuration</translation>
    </message>
    <message>
        <source>Konfiguration &amp;schreiben</source>
        <translation>Save confi&amp;guration</translation>
    </message>
    <message>
        <source>Lösc&amp;hen</source>
        <translation>&amp;Erase</translation>
    </message>
    <message>
        <source>Stat&amp;us</source>
        <translation>Stat&amp;us</translation>
    </message>
    <message>
        <source>Logdatei &quot;Schreiben&quot;</source>
        <translation>The &quot;Write&quot; log file</translation>
    </message>
    <message>
        <source>Logdatei &quot;Lesen&quot;</source>
        <translation>The &quot;Read&quot; log file</translation>
    </message>
    <message>
        <source>Karten: %1</source>
        <translation>Cards: %1</translation>
    </message>
    <message>
        <source>Fehlversuche: %1</source>
        <translation>Failed attempts: %1</translation>
    </message>
    <message>
        <source>Z&amp;yklisch</source>
        <translation>Cycl&amp;ic</translation>
    </message>
    <message>
        <source>pro Karte ableiten</source>
        <translation>derive per card</translation>
    </message>
    <message>
        <source>%1 pro Karte ableiten</source>
        <translation>Derive %1 per card</translation>
    </message>
    <message>
        <source>Das Feld hält den Hauptschlüssel; jede Karte bekommt ihren eigenen, aus ihrer UID abgeleiteten Key.</source>
        <translation>The field holds the master key; every card gets its own key, derived from its UID.</translation>
    </message>
    <message>
        <source>Teil jedes abgeleiteten Keys: ein Text, oder 0x und Hex-Ziffernpaare</source>
        <translation>Part of every derived key: a text, or 0x and pairs of hex digits</translation>
    </message>
    <message>
        <source>System-Kennung:</source>
        <translation>System identifier:</translation>
    </message>
    <message>
        <source>Serie als CSV exportieren</source>
        <translation>Export the series as CSV</translation>
    </message>
    <message>
        <source>CSV-Dateien (*.csv);;Alle Dateien (*)</source>
        <translation>CSV Files (*.csv);;All Files (*)</translation>
    </message>
    <message>
        <source>Serie als JSON exportieren</source>
        <translation>Export the series as JSON</translation>
    </message>
    <message>
        <source>JSON-Dateien (*.json);;Alle Dateien (*)</source>
        <translation>JSON Files (*.json);;All Files (*)</translation>
    </message>
    <message>
        <source>Bericht der Serie speichern</source>
        <translation>Save the series&apos; report</translation>
    </message>
    <message>
        <source>PDF-Dateien (*.pdf);;Alle Dateien (*)</source>
        <translation>PDF Files (*.pdf);;All Files (*)</translation>
    </message>
</context>
<context>
    <name>CardDetection</name>
    <message>
        <source> MIFARE Ultralight®</source>
        <translation> MIFARE Ultralight®</translation>
    </message>
    <message>
        <source> MIFARE® 1K</source>
        <translation> MIFARE® 1K</translation>
    </message>
    <message>
        <source> MIFARE® 4K</source>
        <translation> MIFARE® 4K</translation>
    </message>
    <message>
        <source> SAK(%1)</source>
        <translation> SAK(%1)</translation>
    </message>
    <message>
        <source>Kein gültiger Transponder vorhanden!</source>
        <translation>No valid transponder present!</translation>
    </message>
    <message>
        <source>Ungültiger Transpondertyp:</source>
        <translation>Invalid transponder type:</translation>
    </message>
</context>
<context>
    <name>CardKeys</name>
    <message>
        <source>Die UID der Karte %1 und die System-Kennung sind zusammen zu lang für abgeleitete Keys!</source>
        <translation>The UID of card %1 and the system identifier together are too long for derived keys!</translation>
    </message>
    <message>
        <source>Die Karte %1 zeigt keine feste UID: pro Karte abgeleitete Keys brauchen die UID der Karte!</source>
        <translation>The card %1 shows no fixed UID: keys derived per card need the card&apos;s UID!</translation>
    </message>
</context>
<context>
    <name>CardLog</name>
    <message>
        <source>Dez</source>
        <translation>Dec</translation>
    </message>
    <message>
        <source>Hex</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>Die Protokollzeile konnte nicht in die Datei &lt;%1&gt; geschrieben werden!</source>
        <translation>The log line could not be written to the file &lt;%1&gt;!</translation>
    </message>
    <message>
        <source>ASCII</source>
        <translation>ASCII</translation>
    </message>
    <message>
        <source>BINÄR</source>
        <translation>BINARY</translation>
    </message>
    <message>
        <source>Gedreht</source>
        <translation>Rotated</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>Für das Protokoll ist keine Datei gewählt!</source>
        <translation>No file is chosen for the log!</translation>
    </message>
    <message>
        <source>Der Ordner &lt;%1&gt; der Logdatei &lt;%2&gt; existiert nicht!</source>
        <translation>The folder &lt;%1&gt; of the log file &lt;%2&gt; does not exist!</translation>
    </message>
    <message>
        <source>keine Datei</source>
        <translation>not a file</translation>
    </message>
    <message>
        <source>Die Logdatei &lt;%1&gt; kann nicht geschrieben werden: %2</source>
        <translation>The log file &lt;%1&gt; cannot be written: %2</translation>
    </message>
    <message>
        <source>ein symbolischer Link</source>
        <translation>a symbolic link</translation>
    </message>
</context>
<context>
    <name>CardOperations</name>
    <message>
        <source>Der nächste Wert &lt;%1&gt; konnte nicht gespeichert werden, die Karte wird nicht beschrieben!</source>
        <translation>The next value &lt;%1&gt; could not be saved; the card is not written!</translation>
    </message>
    <message>
        <source>Der Wert &lt;%1&gt; ist vielleicht auf der Karte und wird nicht noch einmal vergeben, weiter mit &lt;%2&gt;!</source>
        <translation>The value &lt;%1&gt; may be on the card and is not used again; continuing with &lt;%2&gt;!</translation>
    </message>
    <message>
        <source>Der Wert &lt;%1&gt; konnte nicht zurückgespeichert werden, gespeichert bleibt &lt;%2&gt;!</source>
        <translation>The value &lt;%1&gt; could not be saved back; &lt;%2&gt; stays saved!</translation>
    </message>
    <message>
        <source>Wert &lt;%1&gt; erfolgreich geschrieben</source>
        <translation>Value &lt;%1&gt; written successfully</translation>
    </message>
    <message>
        <source>Erfolgreich gelesen</source>
        <translation>Read successfully</translation>
    </message>
    <message>
        <source>Ein anderes Programm hat die Serie weitergezählt, weiter mit &lt;%1&gt;!</source>
        <translation>Another program has counted the series on, going on with &lt;%1&gt;!</translation>
    </message>
    <message>
        <source> Die Serie endet.</source>
        <translation> The series ends.</translation>
    </message>
    <message>
        <source>Die Prüfung nach dem Schreiben findet den Wert &lt;%1&gt; nicht auf der Karte!</source>
        <translation>The check after writing does not find the value &lt;%1&gt; on the card!</translation>
    </message>
    <message>
        <source>Der Wert &lt;%1&gt; ist auf der Karte &lt;%2&gt;, aber nicht protokolliert!</source>
        <translation>The value &lt;%1&gt; is on the card &lt;%2&gt; but not logged!</translation>
    </message>
    <message>
        <source>Wert &lt;%1&gt; gelesen</source>
        <translation>Value &lt;%1&gt; read</translation>
    </message>
    <message>
        <source>Die Karte &lt;%1&gt; trug schon den Wert &lt;%2&gt; dieser Serie!</source>
        <translation>The card &lt;%1&gt; already held the value &lt;%2&gt; of this series!</translation>
    </message>
    <message>
        <source>Der Wert &lt;%1&gt; ist auf der Karte &lt;%2&gt;, aber nicht im Serienbuch eingetragen!</source>
        <translation>The value &lt;%1&gt; is on the card &lt;%2&gt; but not entered in the series ledger!</translation>
    </message>
    <message>
        <source> Der Wert wird nicht noch einmal geschrieben.</source>
        <translation> The value is not written again.</translation>
    </message>
    <message>
        <source>Die Station wartet auf das Serienbuch (höchstens %1 s), es wird keine Karte beschrieben.</source>
        <translation>The station waits for the series ledger (at most %1 s); no card is written.</translation>
    </message>
    <message>
        <source>Das Serienbuch antwortet wieder, die Serie geht weiter.</source>
        <translation>The series ledger answers again; the series goes on.</translation>
    </message>
    <message>
        <source> Die Station hört auf zu warten.</source>
        <translation> The station stops waiting.</translation>
    </message>
</context>
<context>
    <name>DesfireSet</name>
    <message>
        <source>Geben Sie eine ganze Zahl zwischen %1 und %2 ein.</source>
        <translation>Enter a whole number between %1 and %2.</translation>
    </message>
    <message>
        <source>Geben Sie eine ganze Zahl ein.</source>
        <translation>Enter a whole number.</translation>
    </message>
    <message>
        <source>Kein Zugriff</source>
        <translation>No access</translation>
    </message>
    <message>
        <source>Freier Zugriff</source>
        <translation>Free access</translation>
    </message>
    <message>
        <source>App Master Key</source>
        <translation>App Master Key</translation>
    </message>
    <message>
        <source>Key %1</source>
        <translation>Key %1</translation>
    </message>
</context>
<context>
    <name>FormatDelete</name>
    <message>
        <source>Geben Sie höchstens %1 Zeichen ein.</source>
        <translation>Enter at most %1 characters.</translation>
    </message>
    <message>
        <source>Keine Hex-Eingabe</source>
        <translation>Not a hex input</translation>
    </message>
    <message>
        <source>Geben Sie eine ganze Zahl zwischen %1 und %2 ein.</source>
        <translation>Enter a whole number between %1 and %2.</translation>
    </message>
    <message>
        <source>Kein gültiger Transponder vorhanden!</source>
        <translation>No valid transponder present!</translation>
    </message>
    <message>
        <source>Authentifizierung nicht möglich! Gewählter Card Master Key nicht gültig</source>
        <translation>Authentication not possible! Selected Card Master Key not valid</translation>
    </message>
    <message>
        <source>Karte wurde gelöscht!</source>
        <translation>Card erased!</translation>
    </message>
    <message>
        <source>Authentifizierung nicht möglich! Gewählter App Master Key nicht gültig</source>
        <translation>Authentication not possible! Selected App Master Key not valid</translation>
    </message>
    <message>
        <source>Die gewählte Applikation wurde gelöscht!</source>
        <translation>The selected application was deleted!</translation>
    </message>
    <message>
        <source>Die gewählte Applikation ist nicht vorhanden!</source>
        <translation>The selected application does not exist!</translation>
    </message>
    <message>
        <source>(Karte %1)</source>
        <translation>(card %1)</translation>
    </message>
    <message>
        <source>Die Karte auf dem Leser wird formatiert: alle Applikationen mit ihren Dateien und Daten gehen verloren, der Card Master Key wird auf den Auslieferungszustand zurückgesetzt.

Karte formatieren?</source>
        <translation>The card on the reader will be formatted: all applications with their files and data are lost, and the Card Master Key is set back to its delivery state.

Format the card?</translation>
    </message>
    <message>
        <source>Die Applikation %1 wird mit allen ihren Dateien und Daten von der Karte auf dem Leser gelöscht.

Applikation löschen?</source>
        <translation>Application %1 will be deleted with all its files and data from the card on the reader.

Delete the application?</translation>
    </message>
</context>
<context>
    <name>HeldValue</name>
    <message>
        <source>Der Wert &lt;%1&gt; wurde in dieser Serie schon am %2 von %3 reserviert; ob eine Karte ihn trägt, ist nicht bekannt.</source>
        <translation>The value &lt;%1&gt; of this series was already reserved on %2 by %3; whether a card holds it is not known.</translation>
    </message>
    <message>
        <source>Der Wert &lt;%1&gt; wurde in dieser Serie schon vergeben: Karte &lt;%2&gt; am %3.</source>
        <translation>The value &lt;%1&gt; of this series was already given out: card &lt;%2&gt; on %3.</translation>
    </message>
    <message>
        <source>Den Wert noch einmal vergeben und schreiben?</source>
        <translation>Give the value out again and write it?</translation>
    </message>
</context>
<context>
    <name>JobFile</name>
    <message>
        <source>Die Datei %1 kann nicht gelesen werden!</source>
        <translation>The file %1 cannot be read!</translation>
    </message>
    <message>
        <source>Die Datei %1 kann nicht geschrieben werden: %2</source>
        <translation>The file %1 cannot be written: %2</translation>
    </message>
    <message>
        <source>Der Wert von &quot;%1&quot; darf keinen Zeilenumbruch enthalten!</source>
        <translation>The value of &quot;%1&quot; must not contain a line break!</translation>
    </message>
    <message>
        <source>Die Datei %1 enthält keinen Auftrag!</source>
        <translation>The file %1 contains no job!</translation>
    </message>
    <message>
        <source>Der gespeicherte Schlüssel &quot;%1&quot; in der Datei %2 kann nicht gelesen werden!</source>
        <translation>The stored key &quot;%1&quot; in the file %2 cannot be read!</translation>
    </message>
    <message>
        <source>Die Datei %1 kann nicht gesperrt werden: %2</source>
        <translation>The file %1 cannot be locked: %2</translation>
    </message>
</context>
<context>
    <name>JobRisks</name>
    <message>
        <source>%1 hat nur %2 von 32 Hex-Ziffern, der Rest wird mit Nullen gefüllt.</source>
        <translation>%1 has only %2 of 32 hex digits, the rest is filled with zeros.</translation>
    </message>
    <message>
        <source>%1 und %2 sind derselbe Key.</source>
        <translation>%1 and %2 are the same key.</translation>
    </message>
    <message>
        <source>%1 = %2 gibt es bei %3 Keys nicht und wirkt als &quot;Kein Zugriff&quot;.</source>
        <translation>%1 = %2 does not exist with %3 keys and acts as &quot;No access&quot;.</translation>
    </message>
    <message>
        <source>Freier Schreibzugriff: jeder kann die Datei ohne Key beschreiben.</source>
        <translation>Free write access: anyone can write the file without a key.</translation>
    </message>
    <message>
        <source>CardKey ist leer: die Karte behält den Standard-Key, jeder kann sie formatieren und die gesperrte Applikation löschen.</source>
        <translation>CardKey is empty: the card keeps the default key, anyone can format it and delete the locked application.</translation>
    </message>
    <message>
        <source>Wert: die Serie passt nach %1 Karten nicht mehr in die Datei (&lt;%2&gt; hat mehr als %3 Bytes).</source>
        <translation>Wert: after %1 cards the series no longer fits the file (&lt;%2&gt; has more than %3 bytes).</translation>
    </message>
    <message>
        <source>%1 und %2 werden aus demselben Hauptschlüssel abgeleitet.</source>
        <translation>%1 and %2 are derived from the same master key.</translation>
    </message>
    <message>
        <source>Der Hauptschlüssel von %1 steht als %2 auf jeder Karte.</source>
        <translation>The master key of %1 is on every card as %2.</translation>
    </message>
    <message>
        <source>%1 ist freier Zugriff: die Datei braucht dafür keinen der pro Karte abgeleiteten Keys.</source>
        <translation>%1 is free access: the file needs none of the keys derived per card for it.</translation>
    </message>
</context>
<context>
    <name>JobSource</name>
    <message>
        <source>Der gespeicherte Schlüssel &quot;%1&quot; in den Einstellungen kann nicht gelesen werden!</source>
        <translation>The stored key &quot;%1&quot; in the settings cannot be read!</translation>
    </message>
</context>
<context>
    <name>KeyPlan</name>
    <message>
        <source>Bytanzahl größer 8 kann im Dezimal-Modus nicht bearbeitetet werden</source>
        <translation>A byte count above 8 cannot be handled in decimal mode</translation>
    </message>
    <message>
        <source>Keine Hex-Eingabe</source>
        <translation>Not a hex input</translation>
    </message>
    <message>
        <source>Kein Lesezugriff erlaubt, entweder bei Lesen oder bei Lesen/Schreiben den Zugriff erlauben</source>
        <translation>No read access allowed; allow access either for Read or for Read/Write</translation>
    </message>
    <message>
        <source>Kein Schreibzugriff erlaubt, entweder bei Schreiben oder bei Lesen/Schreiben den Zugriff erlauben</source>
        <translation>No write access allowed; allow access either for Write or for Read/Write</translation>
    </message>
    <message>
        <source>Keine Daten vorhanden!</source>
        <translation>No data present!</translation>
    </message>
    <message>
        <source>Keine Dezimal-Eingabe</source>
        <translation>Not a decimal input</translation>
    </message>
    <message>
        <source>Der Wert &lt;%1&gt; passt nicht in die Datei mit %2 Bytes!</source>
        <translation>The value &lt;%1&gt; does not fit into the file of %2 bytes!</translation>
    </message>
    <message>
        <source>Ein pro Karte abgeleiteter Key braucht einen Hauptschlüssel mit 32 Hex-Ziffern</source>
        <translation>A key derived per card needs a master key of 32 hex digits</translation>
    </message>
    <message>
        <source>Die System-Kennung hat %1 Bytes, höchstens %2 sind möglich</source>
        <translation>The system identifier has %1 bytes, at most %2 are possible</translation>
    </message>
</context>
<context>
    <name>LedgerChoice</name>
    <message>
        <source>Die Datenbank der Serie darf kein Passwort enthalten: das Passwort gehört in die Passwortdatei von libpq (~/.pgpass) oder in eine Dienstdatei (service=NAME).</source>
        <translation>The series&apos; database must not contain a password: the password belongs in libpq&apos;s password file (~/.pgpass) or in a service file (service=NAME).</translation>
    </message>
</context>
<context>
    <name>NumberField</name>
    <message>
        <source>Geben Sie eine ganze Zahl zwischen %1 und %2 ein.</source>
        <translation>Enter a whole number between %1 and %2.</translation>
    </message>
    <message>
        <source>Geben Sie eine positive ganze Zahl ein.</source>
        <translation>Enter a positive whole number.</translation>
    </message>
    <message>
        <source>Geben Sie eine ganze Zahl ein.</source>
        <translation>Enter a whole number.</translation>
    </message>
</context>
<context>
    <name>PortChoice</name>
    <message>
        <source>&quot;%1&quot; ist kein Gerätepfad: bitte einen absoluten Pfad eingeben, z. B. /dev/ttyUSB0 oder /dev/serial/by-id/...</source>
        <translation>&quot;%1&quot; is no device path: please enter an absolute path, e.g. /dev/ttyUSB0 or /dev/serial/by-id/...</translation>
    </message>
    <message>
        <source>%1 gibt es nicht: ist der Leser angeschlossen und der Pfad richtig?</source>
        <translation>%1 does not exist: is the reader connected and the path right?</translation>
    </message>
    <message>
        <source>%1 ist keine serielle Schnittstelle (kein Zeichengerät).</source>
        <translation>%1 is not a serial port (no character device).</translation>
    </message>
</context>
<context>
    <name>PostgresLedger</name>
    <message>
        <source>die Angabe ist kein libpq-Verbindungstext</source>
        <translation>the text is no libpq connection string</translation>
    </message>
    <message>
        <source>Die Verbindungsangabe der PostgreSQL-Datenbank ist ungültig: %1</source>
        <translation>The connection string of the PostgreSQL database is invalid: %1</translation>
    </message>
    <message>
        <source>kein Speicher</source>
        <translation>out of memory</translation>
    </message>
    <message>
        <source>keine Verbindung</source>
        <translation>no connection</translation>
    </message>
    <message>
        <source>keine Antwort innerhalb von %1 s</source>
        <translation>no answer within %1 s</translation>
    </message>
    <message>
        <source>Die Datenbank %1 ist nicht erreichbar: %2</source>
        <translation>The database %1 cannot be reached: %2</translation>
    </message>
    <message>
        <source>Die Datenbank %1 hat die Anfrage abgelehnt: %2</source>
        <translation>The database %1 refused the request: %2</translation>
    </message>
    <message>
        <source>Die Datenbank %1 antwortet nicht: %2</source>
        <translation>The database %1 does not answer: %2</translation>
    </message>
    <message>
        <source>Die Verbindung zur Datenbank %1 ist abgebrochen: %2</source>
        <translation>The connection to the database %1 broke: %2</translation>
    </message>
    <message>
        <source>Die Datenbank %1 enthält einen ungültigen Eintrag im Serienbuch (Nr. %2).</source>
        <translation>The database %1 holds an invalid entry in the series ledger (no. %2).</translation>
    </message>
    <message>
        <source>die neue Zeile kam nicht zurück</source>
        <translation>the new row did not come back</translation>
    </message>
    <message>
        <source>ob der Wert vergeben wurde, ist offen; er wird nicht verwendet</source>
        <translation>whether the value was given out is unknown; it is not used</translation>
    </message>
    <message>
        <source>Ein Eintrag im Serienbuch kann nicht als „%1“ abgeschlossen werden.</source>
        <translation>An entry of the series ledger cannot be finished as “%1”.</translation>
    </message>
    <message>
        <source>In der Datenbank %1 ist der Eintrag %2 des Serienbuchs nicht reserviert.</source>
        <translation>In the database %1, entry %2 of the series ledger is not reserved.</translation>
    </message>
    <message>
        <source>In der Datenbank %1 ist der Eintrag %2 des Serienbuchs nicht mit dem Wert %3 reserviert.</source>
        <translation>In the database %1, entry %2 of the series ledger is not reserved with the value %3.</translation>
    </message>
    <message>
        <source>Die Datenbank %1 kann das Serienbuch nicht anlegen: %2</source>
        <translation>The database %1 cannot set up the series ledger: %2</translation>
    </message>
    <message>
        <source>Die Datenbank %1 enthält das Serienbuch in Version %2; dieses Programm kennt nur Version %3. Bitte das Programm aktualisieren.</source>
        <translation>The database %1 holds the series ledger in version %2; this program knows only version %3. Please update the program.</translation>
    </message>
</context>
<context>
    <name>ReadSequence</name>
    <message>
        <source>AES Authentifizierung mit Lesen Key erfolgreich!</source>
        <translation>AES authentication with Read Key successful!</translation>
    </message>
    <message>
        <source>3DES Authentifizierung mit Lesen Key als erfolgreich!</source>
        <translation>3DES authentication with Read Key successful!</translation>
    </message>
    <message>
        <source>Authentifizierung nicht möglich! Gewählter Lesen Key nicht gültig</source>
        <translation>Authentication not possible! Selected Read Key not valid</translation>
    </message>
    <message>
        <source>AES Authentifizierung mit Lesen/Schreiben Key erfolgreich!</source>
        <translation>AES authentication with Read/Write Key successful!</translation>
    </message>
    <message>
        <source>3DES Authentifizierung mit Lesen/Schreiben Key erfolgreich!</source>
        <translation>3DES authentication with Read/Write Key successful!</translation>
    </message>
    <message>
        <source>Authentifizierung nicht möglich! Gewählter Lesen/Schreiben Key nicht gültig</source>
        <translation>Authentication not possible! Selected Read/Write Key not valid</translation>
    </message>
    <message>
        <source>Authentifizierung nicht möglich! Zum Lesen muss ein anderer Key gewählt werden</source>
        <translation>Authentication not possible! Select another key for reading</translation>
    </message>
</context>
<context>
    <name>ReaderPort</name>
    <message>
        <source>Es ist keine Schnittstelle für den Leser gewählt!</source>
        <translation>No port has been chosen for the reader!</translation>
    </message>
    <message>
        <source>Die Schnittstelle %1 gibt es nicht: ist der Leser angeschlossen?</source>
        <translation>The port %1 does not exist: is the reader connected?</translation>
    </message>
    <message>
        <source>Keine Berechtigung für %1: Mitglied der Gruppe &quot;dialout&quot; werden (sudo usermod -aG dialout $USER, danach neu anmelden) oder die udev-Regeln des Programms installieren.</source>
        <translation>No permission for %1: join the group &quot;dialout&quot; (sudo usermod -aG dialout $USER, then log in again) or install the program&apos;s udev rules.</translation>
    </message>
    <message>
        <source>%1 wird von einem anderen Programm benutzt.</source>
        <translation>%1 is in use by another program.</translation>
    </message>
    <message>
        <source>%1 ist keine serielle Schnittstelle.</source>
        <translation>%1 is not a serial port.</translation>
    </message>
    <message>
        <source>Diese Art von Schnittstelle (%1) wird hier nicht unterstützt.</source>
        <translation>This kind of port (%1) is not supported here.</translation>
    </message>
    <message>
        <source>An %1 antwortet kein Leser.</source>
        <translation>No reader answers on %1.</translation>
    </message>
    <message>
        <source>Der Leser an %1 konnte nicht geöffnet werden (%2).</source>
        <translation>The reader on %1 could not be opened (%2).</translation>
    </message>
    <message>
        <source>Die Verbindung zum Leser an %1 ist unterbrochen, neuer Versuch alle %2 s!</source>
        <translation>The connection to the reader on %1 is lost, trying again every %2 s!</translation>
    </message>
    <message>
        <source>Der Leser an %1 ist wieder da.</source>
        <translation>The reader on %1 is back.</translation>
    </message>
    <message>
        <source>%1 hat nicht rechtzeitig geantwortet: ist der Leser eingeschaltet und im Netz erreichbar?</source>
        <translation>%1 did not answer in time: is the reader switched on and reachable on the network?</translation>
    </message>
    <message>
        <source>Es ist kein Leser verbunden! Bitte den Leser anschliessen und unter &quot;Extras&quot; &gt; &quot;Schnittstelle wählen&quot; auswählen.</source>
        <translation>No reader is connected! Please connect the reader and choose it under &quot;Tools&quot; &gt; &quot;Choose port&quot;.</translation>
    </message>
    <message>
        <source>Die Verbindung zum Leser ist unterbrochen!</source>
        <translation>The connection to the reader is broken!</translation>
    </message>
</context>
<context>
    <name>SeriesRecord</name>
    <message>
        <source>Die Datenbank %1 enthält noch keine Karte dieser Serie.</source>
        <translation>The database %1 holds no card of this series yet.</translation>
    </message>
    <message>
        <source>Das Serienbuch %1 gibt es noch nicht: diese Serie hat noch keine Karte gezählt.</source>
        <translation>The series ledger %1 does not exist yet: this series has not counted a card yet.</translation>
    </message>
    <message>
        <source>Die Serie kann nicht gelesen werden: %1</source>
        <translation>The series cannot be read: %1</translation>
    </message>
</context>
<context>
    <name>SeriesReport</name>
    <message>
        <source>Erstellt (UTC)</source>
        <translation>Made (UTC)</translation>
    </message>
    <message>
        <source>Karten</source>
        <translation>Cards</translation>
    </message>
    <message>
        <source>Nr.</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>Serie %1</source>
        <translation>Series %1</translation>
    </message>
    <message>
        <source>Die Serie hat noch keine Karten.</source>
        <translation>The series has no cards yet.</translation>
    </message>
</context>
<context>
    <name>SeriesSummary</name>
    <message>
        <source>%1 Karten fertig, %2 Fehlversuche, %3 Werte übersprungen</source>
        <translation>%1 cards done, %2 failed attempts, %3 values skipped</translation>
    </message>
</context>
<context>
    <name>SeriesTexts</name>
    <message>
        <source>reserviert (Lücke)</source>
        <translation>reserved (gap)</translation>
    </message>
    <message>
        <source>geschrieben</source>
        <translation>written</translation>
    </message>
    <message>
        <source>geschrieben und geprüft</source>
        <translation>written and verified</translation>
    </message>
    <message>
        <source>fehlgeschlagen (Lücke)</source>
        <translation>failed (gap)</translation>
    </message>
    <message>
        <source>zurückgegeben</source>
        <translation>returned</translation>
    </message>
    <message>
        <source>neu ausgegeben</source>
        <translation>reissued</translation>
    </message>
    <message>
        <source>Datenbank</source>
        <translation>Database</translation>
    </message>
    <message>
        <source>Karten</source>
        <translation>Cards</translation>
    </message>
    <message>
        <source>Erster Wert</source>
        <translation>First value</translation>
    </message>
    <message>
        <source>Letzter Wert</source>
        <translation>Last value</translation>
    </message>
    <message>
        <source>Fehlgeschlagen</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>Lücken (nicht beendet)</source>
        <translation>Gaps (not finished)</translation>
    </message>
    <message>
        <source>Neu ausgegeben</source>
        <translation>Reissued</translation>
    </message>
    <message>
        <source>Stationen</source>
        <translation>Stations</translation>
    </message>
    <message>
        <source>Wert</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>UID</source>
        <translation>UID</translation>
    </message>
    <message>
        <source>Station</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>Bediener</source>
        <translation>Operator</translation>
    </message>
    <message>
        <source>Reserviert (UTC)</source>
        <translation>Reserved (UTC)</translation>
    </message>
    <message>
        <source>Fertig (UTC)</source>
        <translation>Finished (UTC)</translation>
    </message>
    <message>
        <source>Ergebnis</source>
        <translation>Result</translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>Die Einstellungsdatei %1 kann nicht gelesen werden und bleibt unverändert; verschieben oder löschen Sie sie, um mit den Voreinstellungen zu beginnen!</source>
        <translation>The settings file %1 cannot be read and is left unchanged; move it away or delete it to start with the defaults!</translation>
    </message>
    <message>
        <source>Die Einstellungsdatei %1 ist ein symbolischer Link oder keine gewöhnliche Datei und wird weder gelesen noch geschrieben!</source>
        <translation>The settings file %1 is a symbolic link or not a regular file and is neither read nor written!</translation>
    </message>
    <message>
        <source>Die Einstellungsdatei %1 kann nicht gelesen werden: Der Wert von %2 enthält ein Komma; setzen Sie ihn in Anführungszeichen!</source>
        <translation>The settings file %1 cannot be read: the value of %2 contains a comma; put it in quotation marks!</translation>
    </message>
    <message>
        <source>Die Einstellungsdatei %1 kann nicht gelesen werden: Die Zahl %2 von %3 liegt außerhalb des Zahlenbereichs!</source>
        <translation>The settings file %1 cannot be read: the number %2 of %3 is out of range!</translation>
    </message>
    <message>
        <source>Die Datei %1 kann nicht gesperrt werden: %2</source>
        <translation>The file %1 cannot be locked: %2</translation>
    </message>
    <message>
        <source>Die Einstellungsdatei %1 kann nicht geschrieben werden: %2</source>
        <translation>The settings file %1 cannot be written: %2</translation>
    </message>
    <message>
        <source>Schreibfehler</source>
        <translation>write error</translation>
    </message>
</context>
<context>
    <name>SqliteLedger</name>
    <message>
        <source>Serienbuch %1: die Zeile %2 ist nicht mehr reserviert</source>
        <translation>Series ledger %1: row %2 is no longer reserved</translation>
    </message>
    <message>
        <source>von einem anderen Programm länger als %1 s gesperrt</source>
        <translation>locked by another program for more than %1 s</translation>
    </message>
    <message>
        <source>Serienbuch %1: %2</source>
        <translation>Series ledger %1: %2</translation>
    </message>
    <message>
        <source>Das Serienbuch %1 hat die Version %2 eines neueren Programms; dieses Programm kennt nur die Version %3.</source>
        <translation>The series ledger %1 has version %2 of a newer program; this program knows only version %3.</translation>
    </message>
    <message>
        <source>nur lesbar</source>
        <translation>read-only</translation>
    </message>
</context>
<context>
    <name>UpdateChecker</name>
    <message>
        <source>keine https-Adresse: %1</source>
        <translation>not an https address: %1</translation>
    </message>
    <message>
        <source>mehr als %1 Bytes</source>
        <translation>more than %1 bytes</translation>
    </message>
    <message>
        <source>Das Update ist nicht sicher über https erreichbar: Update nicht möglich!</source>
        <translation>The update cannot be reached safely over https: update not possible!</translation>
    </message>
    <message>
        <source>Die Versionsliste nennt keine Prüfsumme: Update nicht möglich!</source>
        <translation>The version list gives no checksum: update not possible!</translation>
    </message>
    <message>
        <source>Das Update konnte nicht geladen werden!</source>
        <translation>The update could not be downloaded!</translation>
    </message>
    <message>
        <source>Die Prüfsumme des Updates stimmt nicht: Update verworfen!</source>
        <translation>The checksum of the update does not match: update discarded!</translation>
    </message>
    <message>
        <source>Das Update ist kein Debian-Paket (.deb): Update nicht möglich!</source>
        <translation>The update is no Debian package (.deb): update not possible!</translation>
    </message>
    <message>
        <source>Das Update wurde abgebrochen.</source>
        <translation>The update was cancelled.</translation>
    </message>
</context>
<context>
    <name>UpdateList</name>
    <message>
        <source>Keine Internet Verbindung: Update Prüfung nicht möglich!</source>
        <translation>No Internet connection: update check not possible!</translation>
    </message>
    <message>
        <source>Keine Datei gefunden: Update Prüfung nicht möglich!</source>
        <translation>No file found: update check not possible!</translation>
    </message>
    <message>
        <source>Neue Version:</source>
        <translation>New version:</translation>
    </message>
    <message>
        <source> ist aktuell</source>
        <translation> is up to date</translation>
    </message>
</context>
<context>
    <name>WriteSequence</name>
    <message>
        <source>Bitte Karte auflegen!</source>
        <translation>Please put a card on the reader!</translation>
    </message>
    <message>
        <source>Kein gültiger Transponder vorhanden!</source>
        <translation>No valid transponder present!</translation>
    </message>
    <message>
        <source>Die gewählte Applikation wurde gelöscht!</source>
        <translation>The selected application was deleted!</translation>
    </message>
    <message>
        <source>Authentifizierung nicht möglich! Gewählter App Master Key nicht gültig</source>
        <translation>Authentication not possible! Selected App Master Key not valid</translation>
    </message>
    <message>
        <source>App ID existiert bereits!</source>
        <translation>App ID already exists!</translation>
    </message>
    <message>
        <source>App hat nicht die richtigen Keys, Applikation wird gelöscht und neu erzeugt!</source>
        <translation>App does not have the right keys; application is deleted and created again!</translation>
    </message>
    <message>
        <source>App wurde neu erzeugt</source>
        <translation>App created</translation>
    </message>
    <message>
        <source>File hat den falschen Typ, Applikation wird gelöscht und neu erzeugt!</source>
        <translation>File has the wrong type; application is deleted and created again!</translation>
    </message>
    <message>
        <source>File hat nicht die richtigen Keys, Applikation wird gelöscht und neu erzeugt!</source>
        <translation>File does not have the right keys; application is deleted and created again!</translation>
    </message>
    <message>
        <source>File hat nicht genügend Platz, Applikation wird gelöscht und neu erzeugt!</source>
        <translation>File has too little space; application is deleted and created again!</translation>
    </message>
    <message>
        <source>Authentifizierung nicht möglich! Gewählter Card Master Key nicht gültig</source>
        <translation>Authentication not possible! Selected Card Master Key not valid</translation>
    </message>
    <message>
        <source>Authentifizierung nicht möglich! Gewählter Lesen Key nicht gültig</source>
        <translation>Authentication not possible! Selected Read Key not valid</translation>
    </message>
    <message>
        <source>Authentifizierung nicht möglich! Gewählter Schreiben Key nicht gültig</source>
        <translation>Authentication not possible! Selected Write Key not valid</translation>
    </message>
    <message>
        <source>Authentifizierung nicht möglich! Gewählter Lesen/Schreiben Key nicht gültig</source>
        <translation>Authentication not possible! Selected Read/Write Key not valid</translation>
    </message>
    <message>
        <source>Card Master Key</source>
        <translation>Card Master Key</translation>
    </message>
    <message>
        <source>Applikation %1</source>
        <translation>application %1</translation>
    </message>
    <message>
        <source>Datei %1</source>
        <translation>file %1</translation>
    </message>
    <message>
        <source>die Bestätigung der Daten (vielleicht geschrieben)</source>
        <translation>the confirmation of the data (perhaps written)</translation>
    </message>
    <message>
        <source>Daten</source>
        <translation>data</translation>
    </message>
    <message>
        <source>Karte %1 ist nur teilweise beschrieben, es fehlen: %2</source>
        <translation>Card %1 is only partly written, missing: %2</translation>
    </message>
    <message>
        <source>Auf dem Leser liegt eine andere Karte (%1), sie wird nicht beschrieben!</source>
        <translation>Another card (%1) lies on the reader; it is not written!</translation>
    </message>
    <message>
        <source>Die Karte %1 ist noch nicht fertig beschrieben.</source>
        <translation>Card %1 is not finished yet.</translation>
    </message>
</context>
<context>
    <name>quillmate::ui::CAboutDlg</name>
    <message>
        <source>Info über Quillmate</source>
        <translation>About Quillmate</translation>
    </message>
    <message>
        <source>Personalisierung von DESFire-Karten in Serie</source>
        <translation>Personalising DESFire cards in series</translation>
    </message>
    <message>
        <source>automatisch auf neue Version prüfen</source>
        <translation>check for a new version automatically</translation>
    </message>
    <message>
        <source>Update wird gestartet, bitte warten!</source>
        <translation>Starting the update, please wait!</translation>
    </message>
    <message>
        <source>Das Update konnte nicht gestartet werden: %1</source>
        <translation>The update could not be started: %1</translation>
    </message>
    <message>
        <source>Update wird geladen</source>
        <translation>Downloading the update</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>&amp;Jetzt prüfen</source>
        <translation>&amp;Check now</translation>
    </message>
    <message>
        <source>Die Update-Prüfung ist ausgeschaltet.</source>
        <translation>The update check is switched off.</translation>
    </message>
</context>
<context>
    <name>quillmate::ui::CBeepTimeDlg</name>
    <message>
        <source>Einstellungen</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Tondauer</source>
        <translation>Beep time</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>(0 ms = Ton aus)</source>
        <translation>(0 ms = no beep)</translation>
    </message>
    <message>
        <source>Zykluszeit</source>
        <translation>Cycle time</translation>
    </message>
</context>
<context>
    <name>quillmate::ui::CHexEdit</name>
    <message>
        <source>Geben Sie eine ganze Zahl zwischen %1 und %2 ein.</source>
        <translation>Enter a whole number between %1 and %2.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; ist keine Hex-Eingabe und wurde nicht eingefügt. Erlaubt sind die Ziffern 0 bis 9 und A bis F, davor 0x, dazwischen Leerzeichen oder Doppelpunkte.</source>
        <translation>&quot;%1&quot; is not a hex input and was not pasted. Allowed are the digits 0 to 9 and A to F, with 0x in front and spaces or colons between them.</translation>
    </message>
    <message>
        <source>Der Text ist keine Hex-Eingabe und wurde nicht eingefügt. Erlaubt sind die Ziffern 0 bis 9 und A bis F, davor 0x, dazwischen Leerzeichen oder Doppelpunkte.</source>
        <translation>The text is not a hex input and was not pasted. Allowed are the digits 0 to 9 and A to F, with 0x in front and spaces or colons between them.</translation>
    </message>
    <message>
        <source>Der Text hat %1 Hex-Ziffern, in das Feld passen nur noch %2. Er wurde nicht eingefügt.</source>
        <translation>The text has %1 hex digits, but only %2 more fit into the field. It was not pasted.</translation>
    </message>
</context>
<context>
    <name>quillmate::ui::CIPAddrSuche</name>
    <message>
        <source>IP-Adressen</source>
        <translation>IP addresses</translation>
    </message>
    <message>
        <source>IP-Adresse ändern</source>
        <translation>Change IP address</translation>
    </message>
    <message>
        <source>Schliessen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Keine Geräte gefunden!
Bitte prüfen Sie die Firewall-Einstellungen!
Evtl. muss das Programm manuell in der Firewall freigegeben werden.</source>
        <translation>No devices found!
Please check the firewall settings!
The program may have to be allowed through the firewall by hand.</translation>
    </message>
</context>
<context>
    <name>quillmate::ui::CLanConfig</name>
    <message>
        <source>LAN Einstellung</source>
        <translation>LAN settings</translation>
    </message>
    <message>
        <source>IP Adresse automatisch beziehen</source>
        <translation>Obtain an IP address automatically</translation>
    </message>
    <message>
        <source>Folgende IP Adresse verwenden</source>
        <translation>Use the following IP address</translation>
    </message>
    <message>
        <source>DHCP Name:</source>
        <translation>DHCP name:</translation>
    </message>
    <message>
        <source>IP-Adresse:</source>
        <translation>IP address:</translation>
    </message>
    <message>
        <source>Subnetzmaske:</source>
        <translation>Subnet mask:</translation>
    </message>
    <message>
        <source>Gateway:</source>
        <translation>Gateway:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Geben Sie höchstens %1 Zeichen ein.</source>
        <translation>Enter at most %1 characters.</translation>
    </message>
    <message>
        <source>Gültige IP Adresse eingeben!</source>
        <translation>Enter a valid IP address!</translation>
    </message>
    <message>
        <source>IP-Adresse, Subnetzmaske oder Gateway konnte nicht gesetzt werden!</source>
        <translation>The IP address, subnet mask or gateway could not be set!</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
</context>
<context>
    <name>quillmate::ui::CLoeschenDlg</name>
    <message>
        <source>Löschen</source>
        <translation>Erase</translation>
    </message>
    <message>
        <source>Karte formatieren</source>
        <translation>Format card</translation>
    </message>
    <message>
        <source>Applikation löschen</source>
        <translation>Delete application</translation>
    </message>
    <message>
        <source>Schliessen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>App ID:</source>
        <translation>App ID:</translation>
    </message>
    <message>
        <source>Card Master Key:</source>
        <translation>Card Master Key:</translation>
    </message>
    <message>
        <source>App Master Key:</source>
        <translation>App Master Key:</translation>
    </message>
    <message>
        <source>Status:</source>
        <translation>Status:</translation>
    </message>
    <message>
        <source>Nichts gelöscht.</source>
        <translation>Nothing erased.</translation>
    </message>
    <message>
        <source>pro Karte ableiten</source>
        <translation>derive per card</translation>
    </message>
    <message>
        <source>Card Master Key pro Karte ableiten</source>
        <translation>Derive Card Master Key per card</translation>
    </message>
    <message>
        <source>App Master Key pro Karte ableiten</source>
        <translation>Derive App Master Key per card</translation>
    </message>
</context>
<context>
    <name>quillmate::ui::CPortDlg</name>
    <message>
        <source>Schnittstelle</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Schnittstelle auswählen</source>
        <translation>Choose the port</translation>
    </message>
    <message>
        <source>Ethernet aktivieren</source>
        <translation>Enable Ethernet</translation>
    </message>
    <message>
        <source>HID Mode</source>
        <translation>HID Mode</translation>
    </message>
    <message>
        <source>Virtual Com</source>
        <translation>Virtual Com</translation>
    </message>
    <message>
        <source>keine</source>
        <translation>none</translation>
    </message>
    <message>
        <source>gerade</source>
        <translation>even</translation>
    </message>
    <message>
        <source>ungerade</source>
        <translation>odd</translation>
    </message>
    <message>
        <source>Baudrate</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>Parität</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>Stopbits:</source>
        <translation>Stop bits:</translation>
    </message>
    <message>
        <source>Timeout in [ms]</source>
        <translation>Timeout in [ms]</translation>
    </message>
    <message>
        <source>Geräteadresse [dez.]</source>
        <translation>Device address [dec.]</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Kein Ulo USB Treiber für Norva-1 installiert!</source>
        <translation>No Ulo USB driver installed for Norva-1!</translation>
    </message>
    <message>
        <source>Kein Ulo USB Treiber für Norva-2 VCOM installiert!</source>
        <translation>No Ulo USB driver installed for Norva-2 VCOM!</translation>
    </message>
    <message>
        <source>Treiber laden und installieren?</source>
        <translation>Download and install the driver?</translation>
    </message>
    <message>
        <source>Schnittstelle:</source>
        <translation>Port:</translation>
    </message>
</context>
<context>
    <name>quillmate::ui::CQuillmateDlg</name>
    <message>
        <source>Einstellungen</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Schnittstelle wählen</source>
        <translation>Choose port</translation>
    </message>
    <message>
        <source>Deutsch</source>
        <translation>German</translation>
    </message>
    <message>
        <source>Englisch</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Inf&amp;o über Quillmate ...</source>
        <translation>Ab&amp;out Quillmate ...</translation>
    </message>
    <message>
        <source>Das gewählte Gerät &lt;%1&gt; hat nicht die benötigte Funktionalität!</source>
        <translation>The chosen device &lt;%1&gt; does not have the required functions!</translation>
    </message>
    <message>
        <source>Die Einstellungen konnten nicht gespeichert werden: %1</source>
        <translation>The settings could not be saved: %1</translation>
    </message>
    <message>
        <source>Den Zyklus trotzdem starten?</source>
        <translation>Start the cycle anyway?</translation>
    </message>
    <message>
        <source>Der Wert &lt;%1&gt; konnte nicht gespeichert werden: %2</source>
        <translation>The value &lt;%1&gt; could not be saved: %2</translation>
    </message>
    <message>
        <source>E&amp;xtras</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>Den Ordner anlegen?</source>
        <translation>Create the folder?</translation>
    </message>
    <message>
        <source>Der Ordner &lt;%1&gt; konnte nicht angelegt werden!</source>
        <translation>The folder &lt;%1&gt; could not be created!</translation>
    </message>
    <message>
        <source>&quot;Schreiben protokollieren&quot; ist ausgeschaltet.</source>
        <translation>&quot;Log writing&quot; is switched off.</translation>
    </message>
    <message>
        <source>&quot;Lesen protokollieren&quot; ist ausgeschaltet.</source>
        <translation>&quot;Log reading&quot; is switched off.</translation>
    </message>
    <message>
        <source>Der Wert &lt;%1&gt; wurde in dieser Serie schon vergeben. Trotzdem schreiben?</source>
        <translation>The value &lt;%1&gt; has been given out in this series already. Write it anyway?</translation>
    </message>
    <message>
        <source>Die Serie bleibt bei &lt;%1&gt;.</source>
        <translation>The series stays at &lt;%1&gt;.</translation>
    </message>
    <message>
        <source>Kein Leser verbunden!</source>
        <translation>No reader connected!</translation>
    </message>
    <message>
        <source>An diesem Port ist kein Leser angeschlossen.
Bitte wählen Sie eine andere Schnittstelle.</source>
        <translation>No reader is connected to this port.
Please choose another port.</translation>
    </message>
    <message>
        <source>Fehler beim Öffnen des Ports. Bitte prüfen Sie, ob der Port bereits von einem anderen Programm belegt wird!</source>
        <translation>Error opening the port. Please check whether another program is already using it!</translation>
    </message>
    <message>
        <source>Fehler beim Öffnen des Ports.</source>
        <translation>Error opening the port.</translation>
    </message>
    <message>
        <source>%1 hat auf die Frage nach der Version nicht geantwortet.</source>
        <translation>%1 did not answer the question for its version.</translation>
    </message>
    <message>
        <source>Der Zyklus wurde beendet. Zum Schliessen noch einmal Escape drücken.</source>
        <translation>The cycle was stopped. Press Escape again to close.</translation>
    </message>
    <message>
        <source>Ein Zyklus läuft. Zyklus beenden und Quillmate schliessen?</source>
        <translation>A cycle is running. Stop the cycle and close Quillmate?</translation>
    </message>
    <message>
        <source>Leser verbunden</source>
        <translation>Reader connected</translation>
    </message>
    <message>
        <source>Verbindung zum Leser unterbrochen!</source>
        <translation>Connection to the reader broken!</translation>
    </message>
    <message>
        <source>Serie</source>
        <translation>Series</translation>
    </message>
</context>
<context>
    <name>quillmate::ui::CSeriesDlg</name>
    <message>
        <source>Serie</source>
        <translation>Series</translation>
    </message>
    <message>
        <source>Letzte Karten (die neueste zuerst, höchstens %1):</source>
        <translation>Latest cards (the newest first, at most %1):</translation>
    </message>
    <message>
        <source>&amp;CSV exportieren ...</source>
        <translation>&amp;CSV export ...</translation>
    </message>
    <message>
        <source>&amp;JSON exportieren ...</source>
        <translation>&amp;JSON export ...</translation>
    </message>
    <message>
        <source>PDF-&amp;Bericht ...</source>
        <translation>PDF &amp;report ...</translation>
    </message>
    <message>
        <source>&amp;Aktualisieren</source>
        <translation>&amp;Refresh</translation>
    </message>
    <message>
        <source>&amp;Schliessen</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>Serie %1</source>
        <translation>Series %1</translation>
    </message>
    <message>
        <source>Die Datei konnte nicht geschrieben werden: %1</source>
        <translation>The file could not be written: %1</translation>
    </message>
    <message>
        <source>%1 Einträge der Serie in der Datei &lt;%2&gt; gespeichert.</source>
        <translation>%1 entries of the series saved in the file &lt;%2&gt;.</translation>
    </message>
</context>
</TS>
