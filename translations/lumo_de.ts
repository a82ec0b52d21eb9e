<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>HelpCommands</name>
    <message>
        <source>The user manual is not installed. It belongs in this place:

%1</source>
        <translation>Das Benutzerhandbuch ist nicht installiert. Es gehört an diesen Ort:

%1</translation>
    </message>
    <message>
        <source>No program was found to show the user manual. Open this file in a web browser:

%1</source>
        <translation>Es wurde kein Programm gefunden, das das Benutzerhandbuch anzeigen kann. Öffnen Sie diese Datei in einem Webbrowser:

%1</translation>
    </message>
    <message>
        <source>Lumo Publisher was installed from the system&apos;s packages, so its updates come through the system&apos;s package manager, together with those of the rest of the system.</source>
        <translation>Lumo Publisher wurde aus den Paketen des Systems installiert. Aktualisierungen kommen daher über die Paketverwaltung des Systems, zusammen mit denen des übrigen Systems.</translation>
    </message>
    <message>
        <source>Update the system as usual, for example with &quot;sudo apt update &amp;&amp; sudo apt upgrade&quot; in a terminal.</source>
        <translation>Aktualisieren Sie das System wie gewohnt, zum Beispiel mit „sudo apt update &amp;&amp; sudo apt upgrade“ in einem Terminal.</translation>
    </message>
    <message>
        <source>The software centre opens next and shows any update there is.</source>
        <translation>Als Nächstes öffnet sich die Softwareverwaltung und zeigt vorhandene Aktualisierungen an.</translation>
    </message>
    <message>
        <source>The software centre could not be started.</source>
        <translation>Die Softwareverwaltung konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>No web browser could be started to show this page:

%1</source>
        <translation>Es konnte kein Webbrowser gestartet werden, um diese Seite anzuzeigen:

%1</translation>
    </message>
</context>
<context>
    <name>TLumoConnectPublisher</name>
    <message>
        <source>Lumo Server P&amp;roperties</source>
        <translation>&amp;Eigenschaften von Lumo Server</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Rückgängig</translation>
    </message>
    <message>
        <source>&amp;Music</source>
        <translation>&amp;Musik</translation>
    </message>
    <message>
        <source>&amp;Photos</source>
        <translation>&amp;Fotos</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Publish</source>
        <translation>&amp;Veröffentlichen</translation>
    </message>
    <message>
        <source>&amp;Unpublish</source>
        <translation>Veröffentlichung &amp;zurücknehmen</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>Ö&amp;ffnen</translation>
    </message>
    <message>
        <source>P&amp;roperties</source>
        <translation>&amp;Eigenschaften</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>&amp;Einfügen</translation>
    </message>
    <message>
        <source>Clea&amp;r</source>
        <translation>Ent&amp;fernen</translation>
    </message>
    <message>
        <source>Select A&amp;ll</source>
        <translation>&amp;Alles auswählen</translation>
    </message>
    <message>
        <source>&amp;Server</source>
        <translation>&amp;Server</translation>
    </message>
    <message>
        <source>&amp;Start / Resume</source>
        <translation>&amp;Starten / Fortsetzen</translation>
    </message>
    <message>
        <source>&amp;Pause</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Lumo Desktop &amp;Help</source>
        <translation>&amp;Hilfe zu Lumo Desktop</translation>
    </message>
    <message>
        <source>Check for Lumo Desktop &amp;Updates</source>
        <translation>Nach &amp;Aktualisierungen für Lumo Desktop suchen</translation>
    </message>
    <message>
        <source>&amp;About Lumo Publisher</source>
        <translation>&amp;Über Lumo Publisher</translation>
    </message>
    <message>
        <source>Tool bar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>Publish</source>
        <translation>Veröffentlichen</translation>
    </message>
    <message>
        <source>Unpublish</source>
        <translation>Zurücknehmen</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>Nach oben</translation>
    </message>
    <message>
        <source>Reveal</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Band bar</source>
        <translation>Schaltflächenleiste</translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) selected</source>
        <translation>
            <numerusform>%n Element ausgewählt</numerusform>
            <numerusform>%n Elemente ausgewählt</numerusform>
        </translation>
    </message>
    <message>
        <source>Listing %1…</source>
        <translation>%1 wird aufgelistet …</translation>
    </message>
    <message numerus="yes">
        <source>%n thumbnail(s) to make</source>
        <translation>
            <numerusform>Noch %n Miniaturbild zu erstellen</numerusform>
            <numerusform>Noch %n Miniaturbilder zu erstellen</numerusform>
        </translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Wird geladen …</translation>
    </message>
</context>
</TS>
