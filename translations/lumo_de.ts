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
    <name>MyMediaItem</name>
    <message>
        <source>Enumeration Failure</source>
        <translation>Fehler beim Auflisten</translation>
    </message>
</context>
<context>
    <name>PhotoGridAccessible</name>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
</context>
<context>
    <name>PropsForm</name>
    <message>
        <source>Container</source>
        <translation>Container</translation>
    </message>
    <message>
        <source>Music</source>
        <translation>Musik</translation>
    </message>
    <message>
        <source>Image</source>
        <translation>Bild</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>%1 Properties</source>
        <translation>Eigenschaften von %1</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>TAboutBoxForm</name>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>All rights reserved.</source>
        <translation>Alle Rechte vorbehalten.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>&amp;More Legal...</source>
        <translation>&amp;Weitere rechtliche Hinweise …</translation>
    </message>
</context>
<context>
    <name>TContainerProps</name>
    <message>
        <source>Calculating... </source>
        <translation>Wird berechnet … </translation>
    </message>
    <message>
        <source>Location:</source>
        <translation>Ort:</translation>
    </message>
    <message>
        <source>Size:</source>
        <translation>Größe:</translation>
    </message>
    <message>
        <source>Contains:</source>
        <translation>Enthält:</translation>
    </message>
    <message>
        <source>Created:</source>
        <translation>Erstellt:</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message numerus="yes">
        <source>%n Files</source>
        <translation>
            <numerusform>%n Datei</numerusform>
            <numerusform>%n Dateien</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n Folders</source>
        <translation>
            <numerusform>%n Ordner</numerusform>
            <numerusform>%n Ordner</numerusform>
        </translation>
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
<context>
    <name>TMediaPage</name>
    <message>
        <source>Publish</source>
        <translation>Veröffentlichen</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not publishable as a %2 item.</source>
        <translation>„%1“ kann nicht als %2 veröffentlicht werden.</translation>
    </message>
    <message>
        <source>

To continue publishing the remainder of the selected items, press OK.
To stop publishing items, press CANCEL.</source>
        <translation>

Klicken Sie auf OK, um die übrigen ausgewählten Elemente zu veröffentlichen.
Klicken Sie auf ABBRECHEN, um das Veröffentlichen zu beenden.</translation>
    </message>
    <message>
        <source>Unpublish</source>
        <translation>Zurücknehmen</translation>
    </message>
    <message>
        <source>&apos;%1&apos; cannot be unpublished.</source>
        <translation>Die Veröffentlichung von „%1“ kann nicht zurückgenommen werden.</translation>
    </message>
    <message>
        <source>

To continue unpublishing the remainder of the selected items, press OK.
To stop unpublishing items, press CANCEL.</source>
        <translation>

Klicken Sie auf OK, um die Veröffentlichung der übrigen ausgewählten Elemente zurückzunehmen.
Klicken Sie auf ABBRECHEN, um das Zurücknehmen zu beenden.</translation>
    </message>
    <message>
        <source>The published item was not found. It may have been deleted or renamed, or it could be located on a network drive or a removable disk that is not currently available.</source>
        <translation>Das veröffentlichte Element wurde nicht gefunden. Vielleicht wurde es gelöscht oder umbenannt, oder es liegt auf einem Netzlaufwerk oder einem Wechseldatenträger, der gerade nicht verfügbar ist.</translation>
    </message>
    <message numerus="yes">
        <source>Published %n item(s)</source>
        <translation>
            <numerusform>%n Element veröffentlicht</numerusform>
            <numerusform>%n Elemente veröffentlicht</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Unpublished %n item(s)</source>
        <translation>
            <numerusform>Veröffentlichung von %n Element zurückgenommen</numerusform>
            <numerusform>Veröffentlichung von %n Elementen zurückgenommen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) could not be published</source>
        <translation>
            <numerusform>%n Element konnte nicht veröffentlicht werden</numerusform>
            <numerusform>%n Elemente konnten nicht veröffentlicht werden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) could not be unpublished</source>
        <translation>
            <numerusform>Bei %n Element konnte die Veröffentlichung nicht zurückgenommen werden</numerusform>
            <numerusform>Bei %n Elementen konnte die Veröffentlichung nicht zurückgenommen werden</numerusform>
        </translation>
    </message>
    <message>
        <source>, </source>
        <translation>, </translation>
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
        <source>Cle&amp;ar</source>
        <translation>Ent&amp;fernen</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>Ö&amp;ffnen</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>P&amp;roperties</source>
        <translation>&amp;Eigenschaften</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>&amp;Einfügen</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Select A&amp;ll</source>
        <translation>&amp;Alles auswählen</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>Nach oben</translation>
    </message>
    <message>
        <source>Available music on My Computer:</source>
        <translation>Verfügbare Musik auf diesem Computer:</translation>
    </message>
    <message>
        <source>Available photos on My Computer:</source>
        <translation>Verfügbare Fotos auf diesem Computer:</translation>
    </message>
    <message>
        <source>Available music on %1:</source>
        <translation>Verfügbare Musik auf %1:</translation>
    </message>
    <message>
        <source>Available photos on %1:</source>
        <translation>Verfügbare Fotos auf %1:</translation>
    </message>
    <message>
        <source>Published music:</source>
        <translation>Veröffentlichte Musik:</translation>
    </message>
    <message>
        <source>Published photos:</source>
        <translation>Veröffentlichte Fotos:</translation>
    </message>
    <message>
        <source>%1&apos;s published music:</source>
        <translation>Von %1 veröffentlichte Musik:</translation>
    </message>
    <message>
        <source>%1&apos;s published photos:</source>
        <translation>Von %1 veröffentlichte Fotos:</translation>
    </message>
    <message>
        <source>music</source>
        <translation>Musik</translation>
    </message>
    <message>
        <source>photos</source>
        <translation>Foto</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Rückgängig</translation>
    </message>
    <message>
        <source>&amp;Undo Unpublish</source>
        <translation>&amp;Rückgängig: Zurücknehmen</translation>
    </message>
    <message>
        <source>&amp;Undo Publish</source>
        <translation>&amp;Rückgängig: Veröffentlichen</translation>
    </message>
    <message>
        <source>Undo operation failed.</source>
        <translation>Das Rückgängigmachen ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Lumo Publisher Error</source>
        <translation>Lumo Publisher – Fehler</translation>
    </message>
    <message>
        <source>Music folders</source>
        <translation>Musikordner</translation>
    </message>
    <message>
        <source>Photo folders</source>
        <translation>Fotoordner</translation>
    </message>
    <message>
        <source>Songs of the selected folder</source>
        <translation>Titel des gewählten Ordners</translation>
    </message>
    <message>
        <source>Photos of the selected folder</source>
        <translation>Fotos des gewählten Ordners</translation>
    </message>
    <message>
        <source>Published music</source>
        <translation>Veröffentlichte Musik</translation>
    </message>
    <message>
        <source>Published photos</source>
        <translation>Veröffentlichte Fotos</translation>
    </message>
</context>
<context>
    <name>TMediaTree</name>
    <message>
        <source>&amp;Publish</source>
        <translation>&amp;Veröffentlichen</translation>
    </message>
    <message>
        <source>&amp;Expand</source>
        <translation>&amp;Aufklappen</translation>
    </message>
    <message>
        <source>Proper&amp;ties</source>
        <translation>&amp;Eigenschaften</translation>
    </message>
    <message>
        <source>&amp;Collapse</source>
        <translation>&amp;Zuklappen</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
</context>
<context>
    <name>TMusicItems</name>
    <message>
        <source>This container does not contain any publishable music content.</source>
        <translation>Dieser Container enthält keine Musik, die veröffentlicht werden kann.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; does not contain any publishable music content.</source>
        <translation>„%1“ enthält keine Musik, die veröffentlicht werden kann.</translation>
    </message>
    <message>
        <source>P&amp;lay</source>
        <translation>&amp;Abspielen</translation>
    </message>
</context>
<context>
    <name>TMusicProps</name>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>The song cannot be played.</source>
        <translation>Das Lied kann nicht abgespielt werden.</translation>
    </message>
    <message>
        <source>Song:</source>
        <translation>Titel:</translation>
    </message>
    <message>
        <source>Album:</source>
        <translation>Album:</translation>
    </message>
    <message>
        <source>Artist:</source>
        <translation>Interpret:</translation>
    </message>
    <message>
        <source>Year:</source>
        <translation>Jahr:</translation>
    </message>
    <message>
        <source>Genre:</source>
        <translation>Genre:</translation>
    </message>
    <message>
        <source>Duration:</source>
        <translation>Dauer:</translation>
    </message>
    <message>
        <source>Bit Rate:</source>
        <translation>Bitrate:</translation>
    </message>
    <message>
        <source>Sample Rate:</source>
        <translation>Abtastrate:</translation>
    </message>
    <message>
        <source>Location:</source>
        <translation>Ort:</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>TNoticesForm</name>
    <message>
        <source>Legal Notices</source>
        <translation>Rechtliche Hinweise</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>TPhotoItems</name>
    <message>
        <source>This container does not contain any publishable photo content.</source>
        <translation>Dieser Container enthält keine Fotos, die veröffentlicht werden können.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; does not contain any publishable photo content.</source>
        <translation>„%1“ enthält keine Fotos, die veröffentlicht werden können.</translation>
    </message>
</context>
<context>
    <name>TPhotoProps</name>
    <message>
        <source>Taken:</source>
        <translation>Aufgenommen:</translation>
    </message>
    <message>
        <source>Imported:</source>
        <translation>Importiert:</translation>
    </message>
    <message>
        <source>Modified:</source>
        <translation>Geändert:</translation>
    </message>
    <message>
        <source>Size:</source>
        <translation>Größe:</translation>
    </message>
    <message>
        <source>Location:</source>
        <translation>Ort:</translation>
    </message>
</context>
<context>
    <name>TPublishedList</name>
    <message>
        <source>This published item is no longer accessible or has become invalid</source>
        <translation>Dieses veröffentlichte Element ist nicht mehr erreichbar oder ungültig geworden</translation>
    </message>
    <message>
        <source>&amp;Unpublish</source>
        <translation>Veröffentlichung &amp;zurücknehmen</translation>
    </message>
    <message>
        <source>P&amp;roperties</source>
        <translation>&amp;Eigenschaften</translation>
    </message>
    <message>
        <source>No music has been published. Drag music folders, playlists, and files here to make them accessible to Lumo DVRs.</source>
        <translation>Es wurde noch keine Musik veröffentlicht. Ziehen Sie Musikordner, Wiedergabelisten und Dateien hierher, um sie für Lumo-DVRs zugänglich zu machen.</translation>
    </message>
    <message>
        <source>No photos have been published. Drag photo folders and files here to make them accessible to Lumo DVRs.</source>
        <translation>Es wurden noch keine Fotos veröffentlicht. Ziehen Sie Fotoordner und Dateien hierher, um sie für Lumo-DVRs zugänglich zu machen.</translation>
    </message>
    <message>
        <source>The published music cannot be read. %1</source>
        <translation>Die veröffentlichte Musik kann nicht gelesen werden. %1</translation>
    </message>
    <message>
        <source>The published photos cannot be read. %1</source>
        <translation>Die veröffentlichten Fotos können nicht gelesen werden. %1</translation>
    </message>
</context>
<context>
    <name>TSplashScreen</name>
    <message>
        <source>Welcome to Version %1!</source>
        <translation>Willkommen bei Version %1!</translation>
    </message>
    <message>
        <source>Boy Howdy!</source>
        <translation>Donnerwetter!</translation>
    </message>
</context>
<context>
    <name>Utilities</name>
    <message>
        <source>It is already published.</source>
        <translation>Es ist bereits veröffentlicht.</translation>
    </message>
    <message>
        <source>It is not published.</source>
        <translation>Es ist nicht veröffentlicht.</translation>
    </message>
    <message>
        <source>The list of published items is damaged.</source>
        <translation>Die Liste der veröffentlichten Elemente ist beschädigt.</translation>
    </message>
    <message>
        <source>The list of published items could not be read.</source>
        <translation>Die Liste der veröffentlichten Elemente konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The list of published items could not be written.</source>
        <translation>Die Liste der veröffentlichten Elemente konnte nicht geschrieben werden.</translation>
    </message>
</context>
</TS>
