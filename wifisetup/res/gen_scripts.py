#!/usr/bin/env python3
# Writes the wizard's resource scripts: the program's own (Simplified Chinese, with the pictures) and
# the language libraries, from one layout and a table of texts per language. Run it after changing
# the layout or a text; the scripts it writes are kept in the tree.
import os

HERE = os.path.dirname(os.path.abspath(__file__))

TEXTS = {
    "zhcn": {
        "title": "无线网络配置", "heading": "连接失败", "pages": "显示向导页面",
        "print": "打印无线网络信息页", "refresh": "刷新", "back": "上一步", "next": "下一步",
        "cancel": "取消", "finish": "完成",
        "pick": "请从下面列表中选择相应的网络名（SSID），然后单击“下一步”。",
        "printer_list": "您可以点击“打印无线网络信息页”，打印打印机搜索到的无线网络列表。",
        "manual": "手动输入网络名", "ssid": "网络名称 (SSID):",
        "verify": "请验证无线凭证，然后单击“下一步”。", "security": "安全模式:", "key": "密码:",
        "show_key": "显示密码", "progress": "正在配置打印机的无线网络，请稍候……", "outcome": "设置WIFI成功",
        134: "打印机使用提供的无线凭证能够成功连接到无线网络。",
        135: "打印机无法使用提供的无线凭证连接到无线网络。\\n\\u000D要重新输入，请点击“上一步”。",
        137: "是否确认要取消？", 138: "请使用提供的USB电缆连接打印机与计算机。", 139: "无线连接失败",
        140: "无线连接成功",
        141: "打印机使用提供的无线凭证能够成功连接到无线网络。但是，此计算机无法与打印机进行通信。",
        150: "网络名", 151: "安全模式", 152: "信号强度", 156: "无",
        158: "打印端口被占用，无法打印无线网络信息页", 159: "打印端口被占用，无法配置打印机",
    },
    "enus": {
        "title": "Wi-Fi Configuration", "heading": "Connection failed", "pages": "Wizard pages",
        "print": "Print Wi-Fi information page", "refresh": "Refresh", "back": "< Back", "next": "Next >",
        "cancel": "Cancel", "finish": "Finish",
        "pick": "Choose your network name (SSID) in the list below, then click Next.",
        "printer_list": "Click Print Wi-Fi information page to print the list of networks the printer can see.",
        "manual": "Enter the network name myself", "ssid": "Network name (SSID):",
        "verify": "Check the wireless settings, then click Next.", "security": "Security:", "key": "Key:",
        "show_key": "Show the key", "progress": "Setting up the printer's wireless connection. Please wait...",
        "outcome": "Wi-Fi set up",
        134: "The printer joined the wireless network with these settings.",
        135: "The printer could not join the wireless network with these settings.\\n\\u000DTo enter them again, click Back.",
        137: "Do you really want to cancel?", 138: "Connect the printer to this computer with the USB cable supplied.",
        139: "Wireless connection failed", 140: "Wireless connection succeeded",
        141: "The printer joined the wireless network with these settings, but this computer cannot reach it.",
        150: "Network name", 151: "Security", 152: "Signal strength", 156: "None",
        158: "The print port is busy: the Wi-Fi information page cannot be printed.",
        159: "The print port is busy: the printer cannot be set up now.",
    },
    "ja": {
        "title": "Wi-Fi 設定", "heading": "接続に失敗しました", "pages": "ウィザードのページ",
        "print": "Wi-Fi 情報ページを印刷", "refresh": "更新", "back": "< 戻る", "next": "次へ >",
        "cancel": "キャンセル", "finish": "完了",
        "pick": "下の一覧からネットワーク名 (SSID) を選び、[次へ] をクリックしてください。",
        "printer_list": "[Wi-Fi 情報ページを印刷] をクリックすると、プリンターが検出したワイヤレス ネットワークの一覧を印刷できます。",
        "manual": "ネットワーク名を手動で入力する", "ssid": "ネットワーク名 (SSID):",
        "verify": "ワイヤレスの設定を確認し、[次へ] をクリックしてください。", "security": "セキュリティ:", "key": "キー:",
        "show_key": "キーを表示する", "progress": "プリンターのワイヤレス接続を設定しています。しばらくお待ちください...",
        "outcome": "Wi-Fi の設定が完了しました",
        134: "プリンターはこの設定でワイヤレス ネットワークに接続しました。",
        135: "プリンターはこの設定でワイヤレス ネットワークに接続できませんでした。\\n\\u000Dもう一度入力するには [戻る] をクリックしてください。",
        137: "キャンセルしてもよろしいですか?", 138: "付属の USB ケーブルでプリンターとこのコンピューターを接続してください。",
        139: "ワイヤレス接続に失敗しました", 140: "ワイヤレス接続に成功しました",
        141: "プリンターはこの設定でワイヤレス ネットワークに接続しましたが、このコンピューターからプリンターに接続できません。",
        150: "ネットワーク名", 151: "セキュリティ", 152: "信号強度", 156: "なし",
        158: "印刷ポートが使用中のため、Wi-Fi 情報ページを印刷できません。",
        159: "印刷ポートが使用中のため、プリンターを設定できません。",
    },
    "ru": {
        "title": "Настройка Wi-Fi", "heading": "Не удалось подключиться", "pages": "Страницы мастера",
        "print": "Печать сведений о Wi-Fi", "refresh": "Обновить", "back": "< Назад", "next": "Далее >",
        "cancel": "Отмена", "finish": "Готово",
        "pick": "Выберите имя сети (SSID) в списке ниже и нажмите «Далее».",
        "printer_list": "Нажмите «Печать сведений о Wi-Fi», чтобы напечатать список сетей, которые видит принтер.",
        "manual": "Ввести имя сети вручную", "ssid": "Имя сети (SSID):",
        "verify": "Проверьте параметры беспроводной сети и нажмите «Далее».", "security": "Безопасность:",
        "key": "Ключ:", "show_key": "Показать ключ",
        "progress": "Настройка беспроводного подключения принтера. Подождите...", "outcome": "Wi-Fi настроен",
        134: "Принтер подключился к беспроводной сети с этими параметрами.",
        135: "Принтеру не удалось подключиться к беспроводной сети с этими параметрами.\\n\\u000DЧтобы ввести их заново, нажмите «Назад».",
        137: "Вы действительно хотите отменить настройку?",
        138: "Подключите принтер к этому компьютеру кабелем USB из комплекта поставки.",
        139: "Не удалось установить беспроводное подключение", 140: "Беспроводное подключение установлено",
        141: "Принтер подключился к беспроводной сети с этими параметрами, но этот компьютер не может связаться с ним.",
        150: "Имя сети", 151: "Безопасность", 152: "Уровень сигнала", 156: "Нет",
        158: "Порт печати занят: страницу сведений Wi-Fi напечатать нельзя.",
        159: "Порт печати занят: сейчас настроить принтер нельзя.",
    },
    "esmx": {
        "title": "Configuración de Wi-Fi", "heading": "Error de conexión", "pages": "Páginas del asistente",
        "print": "Imprimir información Wi-Fi", "refresh": "Actualizar", "back": "< Atrás",
        "next": "Siguiente >", "cancel": "Cancelar", "finish": "Finalizar",
        "pick": "Elija el nombre de su red (SSID) en la lista siguiente y haga clic en Siguiente.",
        "printer_list": "Haga clic en Imprimir información Wi-Fi para imprimir la lista de redes que detecta la impresora.",
        "manual": "Escribir el nombre de la red", "ssid": "Nombre de la red (SSID):",
        "verify": "Revise la configuración inalámbrica y haga clic en Siguiente.", "security": "Seguridad:",
        "key": "Clave:", "show_key": "Mostrar la clave",
        "progress": "Configurando la conexión inalámbrica de la impresora. Espere...", "outcome": "Wi-Fi configurada",
        134: "La impresora se conectó a la red inalámbrica con esta configuración.",
        135: "La impresora no pudo conectarse a la red inalámbrica con esta configuración.\\n\\u000DPara escribirla de nuevo, haga clic en Atrás.",
        137: "¿Realmente desea cancelar?", 138: "Conecte la impresora a esta computadora con el cable USB incluido.",
        139: "Error en la conexión inalámbrica", 140: "Conexión inalámbrica correcta",
        141: "La impresora se conectó a la red inalámbrica con esta configuración, pero esta computadora no puede comunicarse con ella.",
        150: "Nombre de red", 151: "Seguridad", 152: "Intensidad de señal", 156: "Ninguna",
        158: "El puerto de impresión está ocupado: no se puede imprimir la página de información de Wi-Fi.",
        159: "El puerto de impresión está ocupado: no se puede configurar la impresora ahora.",
    },
    "fr": {
        "title": "Configuration Wi-Fi", "heading": "Échec de la connexion", "pages": "Pages de l'assistant",
        "print": "Imprimer les infos Wi-Fi", "refresh": "Actualiser", "back": "< Précédent",
        "next": "Suivant >", "cancel": "Annuler", "finish": "Terminer",
        "pick": "Choisissez le nom de votre réseau (SSID) dans la liste ci-dessous, puis cliquez sur Suivant.",
        "printer_list": "Cliquez sur Imprimer les infos Wi-Fi pour imprimer la liste des réseaux que l'imprimante détecte.",
        "manual": "Saisir le nom du réseau moi-même", "ssid": "Nom du réseau (SSID) :",
        "verify": "Vérifiez les paramètres sans fil, puis cliquez sur Suivant.", "security": "Sécurité :",
        "key": "Clé :", "show_key": "Afficher la clé",
        "progress": "Configuration de la connexion sans fil de l'imprimante. Veuillez patienter...",
        "outcome": "Wi-Fi configuré",
        134: "L'imprimante s'est connectée au réseau sans fil avec ces paramètres.",
        135: "L'imprimante n'a pas pu se connecter au réseau sans fil avec ces paramètres.\\n\\u000DPour les saisir de nouveau, cliquez sur Précédent.",
        137: "Voulez-vous vraiment annuler ?", 138: "Reliez l'imprimante à cet ordinateur avec le câble USB fourni.",
        139: "Échec de la connexion sans fil", 140: "Connexion sans fil réussie",
        141: "L'imprimante s'est connectée au réseau sans fil avec ces paramètres, mais cet ordinateur ne peut pas l'atteindre.",
        150: "Nom du réseau", 151: "Sécurité", 152: "Puissance du signal", 156: "Aucune",
        158: "Le port d'impression est occupé : la page d'informations Wi-Fi ne peut pas être imprimée.",
        159: "Le port d'impression est occupé : l'imprimante ne peut pas être configurée maintenant.",
    },
    "pl": {
        "title": "Konfiguracja Wi-Fi", "heading": "Połączenie nie powiodło się", "pages": "Strony kreatora",
        "print": "Drukuj informacje Wi-Fi", "refresh": "Odśwież", "back": "< Wstecz", "next": "Dalej >",
        "cancel": "Anuluj", "finish": "Zakończ",
        "pick": "Wybierz nazwę sieci (SSID) z poniższej listy, a następnie kliknij Dalej.",
        "printer_list": "Kliknij Drukuj informacje Wi-Fi, aby wydrukować listę sieci widocznych dla drukarki.",
        "manual": "Wpisz nazwę sieci ręcznie", "ssid": "Nazwa sieci (SSID):",
        "verify": "Sprawdź ustawienia sieci bezprzewodowej, a następnie kliknij Dalej.", "security": "Zabezpieczenia:",
        "key": "Klucz:", "show_key": "Pokaż klucz",
        "progress": "Konfigurowanie połączenia bezprzewodowego drukarki. Proszę czekać...",
        "outcome": "Wi-Fi skonfigurowane",
        134: "Drukarka połączyła się z siecią bezprzewodową przy użyciu tych ustawień.",
        135: "Drukarka nie mogła połączyć się z siecią bezprzewodową przy użyciu tych ustawień.\\n\\u000DAby wpisać je ponownie, kliknij Wstecz.",
        137: "Czy na pewno chcesz anulować?", 138: "Podłącz drukarkę do tego komputera za pomocą dołączonego kabla USB.",
        139: "Połączenie bezprzewodowe nie powiodło się", 140: "Połączenie bezprzewodowe powiodło się",
        141: "Drukarka połączyła się z siecią bezprzewodową przy użyciu tych ustawień, ale ten komputer nie może się z nią komunikować.",
        150: "Nazwa sieci", 151: "Zabezpieczenia", 152: "Siła sygnału", 156: "Brak",
        158: "Port drukowania jest zajęty: nie można wydrukować strony informacji Wi-Fi.",
        159: "Port drukowania jest zajęty: nie można teraz skonfigurować drukarki.",
    },
    "it": {
        "title": "Configurazione Wi-Fi", "heading": "Connessione non riuscita", "pages": "Pagine della procedura guidata",
        "print": "Stampa informazioni Wi-Fi", "refresh": "Aggiorna", "back": "< Indietro", "next": "Avanti >",
        "cancel": "Annulla", "finish": "Fine",
        "pick": "Scegliere il nome della rete (SSID) nell'elenco sottostante, quindi fare clic su Avanti.",
        "printer_list": "Fare clic su Stampa informazioni Wi-Fi per stampare l'elenco delle reti rilevate dalla stampante.",
        "manual": "Immettere manualmente il nome della rete", "ssid": "Nome della rete (SSID):",
        "verify": "Verificare le impostazioni wireless, quindi fare clic su Avanti.", "security": "Sicurezza:",
        "key": "Chiave:", "show_key": "Mostra la chiave",
        "progress": "Configurazione della connessione wireless della stampante in corso. Attendere...",
        "outcome": "Wi-Fi configurato",
        134: "La stampante si è connessa alla rete wireless con queste impostazioni.",
        135: "La stampante non è riuscita a connettersi alla rete wireless con queste impostazioni.\\n\\u000DPer immetterle di nuovo, fare clic su Indietro.",
        137: "Annullare davvero?", 138: "Collegare la stampante a questo computer con il cavo USB in dotazione.",
        139: "Connessione wireless non riuscita", 140: "Connessione wireless riuscita",
        141: "La stampante si è connessa alla rete wireless con queste impostazioni, ma questo computer non riesce a comunicare con essa.",
        150: "Nome rete", 151: "Sicurezza", 152: "Potenza segnale", 156: "Nessuna",
        158: "La porta di stampa è occupata: impossibile stampare la pagina informazioni Wi-Fi.",
        159: "La porta di stampa è occupata: impossibile configurare ora la stampante.",
    },
    "ar": {
        "title": "تكوين Wi-Fi", "heading": "فشل الاتصال", "pages": "صفحات المعالج",
        "print": "طباعة صفحة معلومات Wi-Fi", "refresh": "تحديث", "back": "السابق", "next": "التالي",
        "cancel": "إلغاء", "finish": "إنهاء",
        "pick": "اختر اسم شبكتك (SSID) من القائمة أدناه، ثم انقر فوق التالي.",
        "printer_list": "انقر فوق طباعة صفحة معلومات Wi-Fi لطباعة قائمة الشبكات التي تراها الطابعة.",
        "manual": "إدخال اسم الشبكة يدويًا", "ssid": "اسم الشبكة (SSID):",
        "verify": "تحقق من إعدادات الشبكة اللاسلكية، ثم انقر فوق التالي.", "security": "الأمان:",
        "key": "المفتاح:", "show_key": "إظهار المفتاح",
        "progress": "جارٍ إعداد الاتصال اللاسلكي للطابعة. يرجى الانتظار...", "outcome": "تم إعداد Wi-Fi",
        134: "اتصلت الطابعة بالشبكة اللاسلكية باستخدام هذه الإعدادات.",
        135: "تعذر على الطابعة الاتصال بالشبكة اللاسلكية باستخدام هذه الإعدادات.\\n\\u000Dلإدخالها مرة أخرى، انقر فوق السابق.",
        137: "هل تريد الإلغاء حقًا؟", 138: "صِل الطابعة بهذا الكمبيوتر باستخدام كبل USB المرفق.",
        139: "فشل الاتصال اللاسلكي", 140: "نجح الاتصال اللاسلكي",
        141: "اتصلت الطابعة بالشبكة اللاسلكية باستخدام هذه الإعدادات، لكن هذا الكمبيوتر لا يستطيع الوصول إليها.",
        150: "اسم الشبكة", 151: "الأمان", 152: "قوة الإشارة", 156: "بلا",
        158: "منفذ الطباعة مشغول: لا يمكن طباعة صفحة معلومات Wi-Fi.",
        159: "منفذ الطباعة مشغول: لا يمكن إعداد الطابعة الآن.",
    },
    "tr": {
        "title": "Wi-Fi Yapılandırması", "heading": "Bağlantı kurulamadı", "pages": "Sihirbaz sayfaları",
        "print": "Wi-Fi bilgi sayfasını yazdır", "refresh": "Yenile", "back": "< Geri", "next": "İleri >",
        "cancel": "İptal", "finish": "Son",
        "pick": "Aşağıdaki listeden ağ adınızı (SSID) seçin ve İleri'ye tıklayın.",
        "printer_list": "Yazıcının gördüğü ağların listesini yazdırmak için Wi-Fi bilgi sayfasını yazdır'a tıklayın.",
        "manual": "Ağ adını kendim gireceğim", "ssid": "Ağ adı (SSID):",
        "verify": "Kablosuz ayarlarını denetleyin ve İleri'ye tıklayın.", "security": "Güvenlik:",
        "key": "Anahtar:", "show_key": "Anahtarı göster",
        "progress": "Yazıcının kablosuz bağlantısı ayarlanıyor. Lütfen bekleyin...", "outcome": "Wi-Fi ayarlandı",
        134: "Yazıcı bu ayarlarla kablosuz ağa bağlandı.",
        135: "Yazıcı bu ayarlarla kablosuz ağa bağlanamadı.\\n\\u000DAyarları yeniden girmek için Geri'ye tıklayın.",
        137: "Gerçekten iptal etmek istiyor musunuz?", 138: "Yazıcıyı, birlikte verilen USB kablosuyla bu bilgisayara bağlayın.",
        139: "Kablosuz bağlantı kurulamadı", 140: "Kablosuz bağlantı kuruldu",
        141: "Yazıcı bu ayarlarla kablosuz ağa bağlandı, ancak bu bilgisayar yazıcıya ulaşamıyor.",
        150: "Ağ adı", 151: "Güvenlik", 152: "Sinyal gücü", 156: "Yok",
        158: "Yazdırma bağlantı noktası meşgul: Wi-Fi bilgi sayfası yazdırılamıyor.",
        159: "Yazdırma bağlantı noktası meşgul: yazıcı şu anda ayarlanamıyor.",
    },
    "no": {
        "title": "Wi-Fi-konfigurasjon", "heading": "Tilkoblingen mislyktes", "pages": "Veiviserens sider",
        "print": "Skriv ut Wi-Fi-informasjon", "refresh": "Oppdater", "back": "< Tilbake", "next": "Neste >",
        "cancel": "Avbryt", "finish": "Fullfør",
        "pick": "Velg nettverksnavnet (SSID) i listen nedenfor, og klikk deretter Neste.",
        "printer_list": "Klikk Skriv ut Wi-Fi-informasjon for å skrive ut listen over nettverk som skriveren ser.",
        "manual": "Skriv inn nettverksnavnet selv", "ssid": "Nettverksnavn (SSID):",
        "verify": "Kontroller de trådløse innstillingene, og klikk deretter Neste.", "security": "Sikkerhet:",
        "key": "Nøkkel:", "show_key": "Vis nøkkelen",
        "progress": "Konfigurerer skriverens trådløse tilkobling. Vent litt...", "outcome": "Wi-Fi er konfigurert",
        134: "Skriveren koblet seg til det trådløse nettverket med disse innstillingene.",
        135: "Skriveren kunne ikke koble seg til det trådløse nettverket med disse innstillingene.\\n\\u000DKlikk Tilbake for å skrive dem inn på nytt.",
        137: "Vil du virkelig avbryte?", 138: "Koble skriveren til denne datamaskinen med den medfølgende USB-kabelen.",
        139: "Trådløs tilkobling mislyktes", 140: "Trådløs tilkobling lyktes",
        141: "Skriveren koblet seg til det trådløse nettverket med disse innstillingene, men denne datamaskinen når den ikke.",
        150: "Nettverksnavn", 151: "Sikkerhet", 152: "Signalstyrke", 156: "Ingen",
        158: "Utskriftsporten er opptatt: Wi-Fi-informasjonssiden kan ikke skrives ut.",
        159: "Utskriftsporten er opptatt: skriveren kan ikke konfigureres nå.",
    },
    "sv": {
        "title": "Wi-Fi-konfiguration", "heading": "Anslutningen misslyckades", "pages": "Guidens sidor",
        "print": "Skriv ut Wi-Fi-information", "refresh": "Uppdatera", "back": "< Tillbaka", "next": "Nästa >",
        "cancel": "Avbryt", "finish": "Slutför",
        "pick": "Välj nätverksnamnet (SSID) i listan nedan och klicka sedan på Nästa.",
        "printer_list": "Klicka på Skriv ut Wi-Fi-information för att skriva ut listan över nätverk som skrivaren ser.",
        "manual": "Ange nätverksnamnet själv", "ssid": "Nätverksnamn (SSID):",
        "verify": "Kontrollera de trådlösa inställningarna och klicka sedan på Nästa.", "security": "Säkerhet:",
        "key": "Nyckel:", "show_key": "Visa nyckeln",
        "progress": "Skrivarens trådlösa anslutning konfigureras. Vänta...", "outcome": "Wi-Fi har konfigurerats",
        134: "Skrivaren anslöt till det trådlösa nätverket med de här inställningarna.",
        135: "Skrivaren kunde inte ansluta till det trådlösa nätverket med de här inställningarna.\\n\\u000DKlicka på Tillbaka för att ange dem igen.",
        137: "Vill du verkligen avbryta?", 138: "Anslut skrivaren till den här datorn med den medföljande USB-kabeln.",
        139: "Den trådlösa anslutningen misslyckades", 140: "Den trådlösa anslutningen lyckades",
        141: "Skrivaren anslöt till det trådlösa nätverket med de här inställningarna, men den här datorn kan inte nå den.",
        150: "Nätverksnamn", 151: "Säkerhet", 152: "Signalstyrka", 156: "Ingen",
        158: "Utskriftsporten är upptagen: Wi-Fi-informationssidan kan inte skrivas ut.",
        159: "Utskriftsporten är upptagen: skrivaren kan inte konfigureras nu.",
    },
    "he": {
        "title": "הגדרת Wi-Fi", "heading": "החיבור נכשל", "pages": "דפי האשף",
        "print": "הדפס דף מידע Wi-Fi", "refresh": "רענן", "back": "הקודם", "next": "הבא",
        "cancel": "ביטול", "finish": "סיום",
        "pick": "בחר את שם הרשת (SSID) מהרשימה שלמטה ולאחר מכן לחץ על הבא.",
        "printer_list": "לחץ על הדפס דף מידע Wi-Fi כדי להדפיס את רשימת הרשתות שהמדפסת רואה.",
        "manual": "הזן את שם הרשת בעצמי", "ssid": "שם הרשת (SSID):",
        "verify": "בדוק את הגדרות הרשת האלחוטית ולאחר מכן לחץ על הבא.", "security": "אבטחה:",
        "key": "מפתח:", "show_key": "הצג את המפתח",
        "progress": "מגדיר את החיבור האלחוטי של המדפסת. אנא המתן...", "outcome": "Wi-Fi הוגדר",
        134: "המדפסת התחברה לרשת האלחוטית עם הגדרות אלה.",
        135: "המדפסת לא הצליחה להתחבר לרשת האלחוטית עם הגדרות אלה.\\n\\u000Dכדי להזין אותן שוב, לחץ על הקודם.",
        137: "האם אתה בטוח שברצונך לבטל?", 138: "חבר את המדפסת למחשב זה באמצעות כבל ה-USB המצורף.",
        139: "החיבור האלחוטי נכשל", 140: "החיבור האלחוטי הצליח",
        141: "המדפסת התחברה לרשת האלחוטית עם הגדרות אלה, אך מחשב זה אינו יכול להגיע אליה.",
        150: "שם הרשת", 151: "אבטחה", 152: "עוצמת אות", 156: "ללא",
        158: "יציאת ההדפסה תפוסה: לא ניתן להדפיס את דף המידע של Wi-Fi.",
        159: "יציאת ההדפסה תפוסה: לא ניתן להגדיר את המדפסת כעת.",
    },
    "zhtw": {
        "title": "無線網路設定", "heading": "連線失敗", "pages": "顯示精靈頁面",
        "print": "列印無線網路資訊頁", "refresh": "重新整理", "back": "上一步", "next": "下一步",
        "cancel": "取消", "finish": "完成",
        "pick": "請從下方清單中選擇對應的網路名稱（SSID），然後按一下「下一步」。",
        "printer_list": "您可以按一下「列印無線網路資訊頁」，列印印表機搜尋到的無線網路清單。",
        "manual": "手動輸入網路名稱", "ssid": "網路名稱 (SSID):",
        "verify": "請確認無線認證資訊，然後按一下「下一步」。", "security": "安全模式:", "key": "密碼:",
        "show_key": "顯示密碼", "progress": "正在設定印表機的無線網路，請稍候……", "outcome": "無線網路設定成功",
        134: "印表機已使用提供的無線認證資訊成功連線到無線網路。",
        135: "印表機無法使用提供的無線認證資訊連線到無線網路。\\n\\u000D若要重新輸入，請按一下「上一步」。",
        137: "確定要取消嗎？", 138: "請使用隨附的 USB 纜線連接印表機與電腦。", 139: "無線連線失敗",
        140: "無線連線成功",
        141: "印表機已使用提供的無線認證資訊成功連線到無線網路。但是，此電腦無法與印表機通訊。",
        150: "網路名稱", 151: "安全模式", 152: "訊號強度", 156: "無",
        158: "列印連接埠忙碌中，無法列印無線網路資訊頁", 159: "列印連接埠忙碌中，無法設定印表機",
    },
    "de": {
        "title": "WLAN-Konfiguration", "heading": "Verbindung fehlgeschlagen", "pages": "Seiten des Assistenten",
        "print": "WLAN-Infoseite drucken", "refresh": "Aktualisieren", "back": "< Zurück", "next": "Weiter >",
        "cancel": "Abbrechen", "finish": "Fertig stellen",
        "pick": "Wählen Sie den Namen Ihres Netzwerks (SSID) in der Liste unten und klicken Sie dann auf Weiter.",
        "printer_list": "Klicken Sie auf WLAN-Infoseite drucken, um die Liste der Netzwerke zu drucken, die der Drucker sieht.",
        "manual": "Netzwerknamen selbst eingeben", "ssid": "Netzwerkname (SSID):",
        "verify": "Prüfen Sie die WLAN-Einstellungen und klicken Sie dann auf Weiter.", "security": "Sicherheit:",
        "key": "Schlüssel:", "show_key": "Schlüssel anzeigen",
        "progress": "Die WLAN-Verbindung des Druckers wird eingerichtet. Bitte warten...", "outcome": "WLAN eingerichtet",
        134: "Der Drucker hat sich mit diesen Einstellungen mit dem Funknetzwerk verbunden.",
        135: "Der Drucker konnte sich mit diesen Einstellungen nicht mit dem Funknetzwerk verbinden.\\n\\u000DKlicken Sie auf Zurück, um sie erneut einzugeben.",
        137: "Möchten Sie wirklich abbrechen?", 138: "Verbinden Sie den Drucker mit dem beiliegenden USB-Kabel mit diesem Computer.",
        139: "WLAN-Verbindung fehlgeschlagen", 140: "WLAN-Verbindung hergestellt",
        141: "Der Drucker hat sich mit diesen Einstellungen mit dem Funknetzwerk verbunden, aber dieser Computer kann ihn nicht erreichen.",
        150: "Netzwerkname", 151: "Sicherheit", 152: "Signalstärke", 156: "Keine",
        158: "Der Druckanschluss ist belegt: Die WLAN-Infoseite kann nicht gedruckt werden.",
        159: "Der Druckanschluss ist belegt: Der Drucker kann jetzt nicht eingerichtet werden.",
    },
}

# The libraries of the languages written right to left carry the library-wide flag.
RIGHT_TO_LEFT = {"ar", "he"}
VIS = "WS_CHILD | WS_VISIBLE"
PAGE_STYLE = "WS_CHILD | DS_CONTROL"


def script(code, own):
    t = TEXTS[code]
    q = lambda s: '"' + s.replace('"', '\\"') + '"' if '\\' not in s else '"' + s + '"'
    out = []
    if own:
        out.append("// The wireless set-up wizard's own resources: its Simplified Chinese texts and templates,")
        out.append("// used when no language library loads, and its pictures (never taken from a library).")
    else:
        out.append(f"// The wireless set-up wizard's language library ({code}): its templates and texts.")
    if code in RIGHT_TO_LEFT:
        out.append("RTL")
    out.append("")
    out.append("STRINGTABLE")
    out.append("BEGIN")
    for sid in sorted(k for k in t if isinstance(k, int)):
        out.append(f"    {sid} {q(t[sid])}")
    out.append("END")
    out.append("")
    out.append("// The wizard's frame: banner, heading, the page area and the row of buttons.")
    out.append("DIALOG 140, 0, 0, 313, 249")
    out.append(f"    TITLE {q(t['title'])}")
    out.append('    FONT 8, "MS Shell Dlg"')
    out.append("    STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME")
    out.append("    EXSTYLE WS_EX_APPWINDOW")
    out.append("BEGIN")
    rows = [
        ('""', 1013, "STATIC", f"{VIS} | SS_BITMAP", "0, 0, 313, 43"),
        (q(t["heading"]), 1024, "STATIC", f"{VIS} | SS_RIGHT", "8, 7, 295, 20"),
        ('""', -1, "STATIC", f"{VIS} | SS_ETCHEDHORZ", "0, 43, 313, 1"),
        (q(t["pages"]), 1017, "BUTTON", "WS_CHILD | BS_GROUPBOX", "0, 48, 313, 166"),
        ('""', -1, "STATIC", f"{VIS} | SS_ETCHEDHORZ", "0, 218, 313, 1"),
        (q(t["print"]), 1022, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "7, 228, 103, 14"),
        (q(t["refresh"]), 1023, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "7, 228, 59, 14"),
        (q(t["back"]), 1018, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "137, 228, 50, 14"),
        (q(t["next"]), 1020, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "191, 228, 50, 14"),
        (q(t["cancel"]), 1019, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "254, 228, 50, 14"),
        (q(t["finish"]), 1021, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "254, 228, 50, 14"),
    ]
    out += [f"    CONTROL {a}, {b}, {c}, {d}, {e}" for a, b, c, d, e in rows]
    out.append("END")

    def page(pid, cx, cy, comment, rows):
        out.append("")
        out.append(f"// {comment}")
        out.append(f"DIALOG {pid}, 0, 0, {cx}, {cy}")
        out.append('    FONT 8, "MS Shell Dlg"')
        out.append(f"    STYLE {PAGE_STYLE}")
        out.append("BEGIN")
        out.extend(f"    CONTROL {a}, {b}, {c}, {d}, {e}" for a, b, c, d, e in rows)
        out.append("END")

    page(141, 309, 166, "The network list page.", [
        (q(t["pick"]), 1027, "STATIC", VIS, "7, 7, 295, 18"),
        ('""', 1000, "SysListView32",
         f"{VIS} | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS", "7, 27, 295, 108"),
        (q(t["printer_list"]), 1028, "STATIC", "WS_CHILD", "7, 7, 295, 18"),
        (q(t["manual"]), 1026, "BUTTON", f"{VIS} | WS_TABSTOP | BS_AUTOCHECKBOX", "7, 140, 150, 10"),
        (q(t["ssid"]), 1029, "STATIC", VIS, "7, 30, 90, 10"),
        ('""', 1002, "EDIT", f"{VIS} | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL", "100, 28, 150, 12"),
    ])
    page(129, 311, 173, "The network details page.", [
        (q(t["verify"]), -1, "STATIC", VIS, "7, 7, 297, 18"),
        (q(t["ssid"]), -1, "STATIC", VIS, "20, 38, 90, 10"),
        ('""', 1002, "EDIT", f"{VIS} | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL", "115, 36, 150, 12"),
        (q(t["security"]), -1, "STATIC", VIS, "20, 60, 90, 10"),
        ('""', 1009, "COMBOBOX", f"{VIS} | WS_TABSTOP | CBS_DROPDOWNLIST", "115, 58, 150, 60"),
        (q(t["key"]), 1025, "STATIC", VIS, "20, 82, 90, 10"),
        ('""', 1003, "EDIT", f"{VIS} | WS_TABSTOP | WS_BORDER | ES_PASSWORD | ES_AUTOHSCROLL", "115, 80, 150, 12"),
        (q(t["show_key"]), 1001, "BUTTON", f"{VIS} | WS_TABSTOP | BS_AUTOCHECKBOX", "115, 98, 150, 10"),
    ])
    page(131, 311, 173, "The progress page.", [
        (q(t["progress"]), -1, "STATIC", VIS, "7, 40, 297, 18"),
        ('""', 1008, "msctls_progress32", f"{VIS} | WS_BORDER", "20, 70, 270, 12"),
    ])
    page(130, 309, 166, "The outcome page.", [
        (q(t["outcome"]), 1010, "STATIC", VIS, "8, 15, 291, 25"),
        ('""', 1021, "STATIC", f"{VIS} | SS_BITMAP", "0, 44, 317, 78"),
    ])
    if own:
        out.append("")
        out.append('BITMAP 131 "pictures/banner.bmp"')
        out.append('BITMAP 147 "pictures/banner_rtl.bmp"')
        out.append('BITMAP 138 "pictures/usb_cable.bmp"')
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    with open(os.path.join(HERE, "caspen.rc"), "w", encoding="utf-8") as f:
        f.write(script("zhcn", True))
    for code in TEXTS:
        with open(os.path.join(HERE, f"Velrin{code}.rc"), "w", encoding="utf-8") as f:
            f.write(script(code, False))
